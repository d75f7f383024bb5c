// Placeholder until the corpus expectations are listed.
