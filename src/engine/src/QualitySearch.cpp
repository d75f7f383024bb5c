// The automatic quality: candidates encoded in memory, decoded back and
// scored against the source, the chosen one kept until it is written.
#include "QualitySearch.h"

#include <cmath>
#include <map>

#include "Codecs.h"
#include "DecodedSource.h"
#include "Errors.h"
#include "Pixels.h"
#include "Score.h"

namespace pixmorph {

int lowestQualityReaching(double target, const std::function<double(int)>& scoreAt) {
  // 92 outcomes (10..100, or none) take 7 halvings. A high target's answer
  // is above quality 73 for photos, so its first cut is made there, the
  // highest that leaves the 64 outcomes below it to the 6 calls left: the
  // 28 above it need one call fewer.
  constexpr double kHighTarget = 88;
  constexpr int kHighFirstCut = 73;
  int low = 10, high = 101;
  for (bool first = true; low < high; first = false) {
    const int mid = first && target >= kHighTarget ? kHighFirstCut : (low + high) / 2;
    const double score = scoreAt(mid);
    if (std::isnan(score)) return 0;
    if (score >= target)
      high = mid;
    else
      low = mid + 1;
  }
  return high;
}

namespace {

constexpr int kMinTarget = 30, kMaxTarget = 99;

// The source's pixels as the output shows them: over white where it cannot
// hold transparency.
RgbaPicture sourcePicture(const DecodedSource& source, const FormatRow& format) {
  BufferedReader rows(source.info, source.rows, nullptr);
  RgbaPicture pic = readRgbaPicture(rows);
  if (pic.hasAlpha && !format.layouts.alpha) composeOverWhite(pic);
  return pic;
}

// Why @p source cannot be searched: the failure its writes would meet.
TranscodeResult unheldSource(const DecodedSource& source) {
  TranscodeResult r = resultOf([&] {
    if (source.openFailure) std::rethrow_exception(source.openFailure);
    if (source.rowFailure) std::rethrow_exception(source.rowFailure);
    throw ReadError("Image is too large to hold for several encodings");
  });
  r.side = FailureSide::Read;
  return r;
}

}  // namespace

std::unique_ptr<SmallestOutput> findSmallest(const DecodedSource& source, const std::string& extension, int target) {
  auto out = std::make_unique<SmallestOutput>();
  out->extension = extension;
  QualityChoice& choice = out->choice;
  const std::string name = "candidate." + extension;
  const FormatRow* format = formatRow(formatFromExtension(name));
  if (!format || !format->createWriter) {
    choice.result = resultOf([] { throw WriteError(kOutputNotSupported); });
    return out;
  }
  if (!format->lossy) {
    choice.result = resultOf([&] { throw OtherError(std::string(format->name) + " has no quality to choose"); });
    return out;
  }
  if (target < kMinTarget || target > kMaxTarget) {
    choice.result = resultOf([] { throw OtherError("Target score must be between 30 and 99"); });
    return out;
  }
  if (!decodedWhole(source)) {
    choice.result = unheldSource(source);
    return out;
  }
  choice.result = resultOf([&] {
    const Ssimulacra2Reference reference(sourcePicture(source, *format));
    // Only the candidates that may still be chosen are kept: the best one
    // reaching the target so far, and quality 100 as the last resort.
    std::map<int, std::pair<std::vector<uint8_t>, double>> kept;
    TranscodeResult failure;
    const int found = lowestQualityReaching(target, [&](int quality) -> double {
      std::vector<uint8_t> bytes;
      // The score counts colour detail in full: colour at full resolution
      // reaches high targets in fewer bytes than a higher quality does, and
      // low ones in about as many.
      failure = encodeTarget(source, name, quality, bytes, true);
      if (!failure.ok) return std::nan("");
      InputFile in(bytes.data(), bytes.size());
      const double score = reference.score(readRgbaPicture(in, name));
      if (score >= target) kept.clear();
      if (score >= target || quality == 100) kept[quality] = {std::move(bytes), score};
      return score;
    });
    if (found == 0) throw EngineError(failure.status, failure.message);
    choice.reachedTarget = found <= 100;
    choice.quality = std::min(found, 100);
    auto& [bytes, score] = kept.at(choice.quality);
    out->encoded = std::move(bytes);
    choice.score = score;
  });
  return out;
}

TranscodeResult writeChosen(const SmallestOutput& chosen, const std::string& outputPath) {
  if (!chosen.choice.result.ok) return chosen.choice.result;
  return resultOf([&] {
    if (formatFromExtension(outputPath) != formatFromExtension("candidate." + chosen.extension))
      throw OtherError("The output's extension names another format than the one searched");
    AtomicOutputFile file(outputPath);
    file.write(chosen.encoded.data(), chosen.encoded.size());
    file.commit();
  });
}

QualityChoice transcodeSmallest(const std::string& inputPath, const std::string& outputPath, int target) {
  const std::unique_ptr<SmallestOutput> chosen = findSmallest(*decodeSource(inputPath), extensionOf(outputPath), target);
  QualityChoice choice = chosen->choice;
  if (choice.result.ok) choice.result = writeChosen(*chosen, outputPath);
  return choice;
}

}  // namespace pixmorph
