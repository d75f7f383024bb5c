// Program text table: reader of the program text file, lookup, and the
// file-creatability check.
//
// Program text file format (UTF-8, LF or CR LF line ends, an optional byte
// order mark at the start):
//
//   # a comment: a line whose first non-blank character is "#"
//   <number> <language> <text>
//
// - number and language are decimal integers from 0 to 32767, separated
//   from each other and from the text by one or more blanks or tabs;
// - the text is the rest of the line without its leading and trailing
//   blanks; "~" stands for an empty text (returned as "~", the caller maps it);
// - blank lines and comment lines are skipped but counted, so the line
//   numbers of the failure codes are the ones an editor shows;
// - a number may appear once per language.
//
// Failure codes are listed in textlib.h. A line is judged in this order:
// well-formed entry with a text (else "missing string"), text length (else
// "too long"), then uniqueness (else "duplicate").

#include "textlib/textlib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

// A program text file is a few kilobytes; anything this large is the wrong
// file, and reading it whole would only waste memory.
constexpr std::size_t kMaxFileBytes = 4u * 1024u * 1024u;
constexpr int32_t kMaxReportedLine = 500;
constexpr int32_t kMaxKey = 32767;

constexpr int32_t kCannotOpen = -1;
constexpr int32_t kTooMuchText = -3;
constexpr int32_t kEmptyFile = -6;
constexpr int32_t kReadError = -7;
constexpr int32_t kOutOfMemory = -8;
constexpr int32_t kMissingBase = -500;
constexpr int32_t kTooLongBase = -1000;
constexpr int32_t kDuplicateBase = -1500;

using Key = std::pair<int32_t, int32_t>;  // number, language
using Table = std::map<Key, std::string>;

std::mutex tableLock;
Table table;

int32_t lineCode(int32_t base, std::size_t line) {
    return base - static_cast<int32_t>(std::min<std::size_t>(line, kMaxReportedLine));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Takes a decimal number in [0, kMaxKey] from the front of s.
std::optional<int32_t> takeKey(std::string_view& s) {
    std::size_t digits = 0;
    int32_t value = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') {
        value = value * 10 + (s[digits] - '0');
        if (value > kMaxKey) return std::nullopt;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    // The number must end at a blank or at the end of the line ("12x" is not 12).
    if (digits < s.size() && !isBlank(s[digits])) return std::nullopt;
    s.remove_prefix(digits);
    s = trimBlanks(s);
    return value;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF,
// and no NUL, which no text has a use for.
bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c == 0) return false;
        if (c < 0x80) { ++p; continue; }
        std::size_t extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
        else return false;
        if (static_cast<std::size_t>(end - p) <= extra) return false;
        for (std::size_t i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

// Reads the whole file; a status code in place of the bytes on failure.
int32_t readFile(const char* path, std::string& bytes) {
    // O_NONBLOCK keeps a FIFO without writer from hanging the start-up.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return kCannotOpen;
    int32_t status = 1;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            status = kReadError;
            break;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            status = kTooMuchText;
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (status == 1 && bytes.empty()) status = kEmptyFile;
    return status;
}

// Parses the file's bytes into `out`; the number of texts, or a failure code.
int32_t parse(std::string_view text, Table& out) {
    if (!isValidUtf8(text)) return kReadError;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        line = trimBlanks(line);
        if (line.empty() || line.front() == '#') continue;

        const std::optional<int32_t> number = takeKey(line);
        const std::optional<int32_t> language = number ? takeKey(line) : std::nullopt;
        if (!language || line.empty()) return lineCode(kMissingBase, lineNumber);
        if (line.size() > TEXTLIB_MAX_TEXT_BYTES) return lineCode(kTooLongBase, lineNumber);
        if (!out.emplace(Key{*number, *language}, std::string(line)).second)
            return lineCode(kDuplicateBase, lineNumber);
    }
    return static_cast<int32_t>(out.size());
}

}  // namespace

extern "C" int32_t lt(const char* utf8Path, int32_t /*reserved*/) {
    Table loaded;
    int32_t status = kCannotOpen;
    try {
        if (utf8Path != nullptr && *utf8Path != '\0') {
            std::string bytes;
            status = readFile(utf8Path, bytes);
            if (status > 0) status = parse(bytes, loaded);
        }
    } catch (const std::bad_alloc&) {
        status = kOutOfMemory;
        loaded.clear();
    }
    // A failed load leaves no texts behind rather than a stale or partial table.
    if (status < 0) loaded.clear();
    std::lock_guard<std::mutex> guard(tableLock);
    table.swap(loaded);
    return status;
}

extern "C" int32_t gt(int32_t number, int32_t language, char* buffer, int32_t capacity,
                      int32_t /*reserved*/) {
    if (buffer == nullptr || capacity <= 0) return 0;
    std::lock_guard<std::mutex> guard(tableLock);
    const auto found = table.find(Key{number, language});
    if (found == table.end()) return 0;
    const std::string& text = found->second;
    const auto size = static_cast<int32_t>(text.size());  // at most TEXTLIB_MAX_TEXT_BYTES
    if (size > capacity) return -size;
    std::memcpy(buffer, text.data(), text.size());
    return size;
}

extern "C" int32_t new_file_creatable(const char* utf8Path) {
    if (utf8Path == nullptr || *utf8Path == '\0') return 0;
    // O_EXCL fails on anything already there, a dangling symbolic link included.
    const int fd = ::open(utf8Path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? 0 : -errno;
    ::close(fd);
    if (::unlink(utf8Path) != 0) return -errno;  // our empty file stays: the name is taken
    return 1;
}
