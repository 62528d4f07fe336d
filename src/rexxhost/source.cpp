#include "rexxhost/source.hpp"

#include <algorithm>
#include <cstring>

namespace tavmor {
namespace {

// How Regina's scanner reads a program that may hold no clause, as far as it matters here:
// which bytes end a line, which are blank, where a comment or a continuation ends.
class Scanner {
 public:
  Scanner(const char* source, std::size_t size) : source_(source), size_(size) {}

  bool atEnd() const { return i_ >= size_; }
  bool startsWith(const char* pair) const {
    return i_ + 1 < size_ && source_[i_] == pair[0] && source_[i_ + 1] == pair[1];
  }
  unsigned char peek() const { return static_cast<unsigned char>(source_[i_]); }
  void skip() { lineStart_ = isLineEnd(peek()), ++i_; }
  bool atLineStart() const { return lineStart_; }

  static bool isLineEnd(unsigned char c) { return c == '\n' || c == '\r'; }
  static bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

  void skipRestOfLine() {
    while (!atEnd() && !isLineEnd(peek())) skip();
  }
  // Skips a comment that starts here; false when it is left open.
  bool skipComment() {
    std::size_t depth = 0;
    do {
      if (startsWith("/*")) {
        ++depth;
        skip(), skip();
      } else if (startsWith("*/")) {
        --depth;
        skip(), skip();
      } else {
        skip();
      }
    } while (depth > 0 && !atEnd());
    return depth == 0;
  }
  // Skips blanks and comments; false when a comment is left open or holds what Regina rejects.
  bool skipBlanks() {
    while (!atEnd()) {
      if (isBlank(peek())) {
        skip();
      } else if (startsWith("/*")) {
        if (!skipComment()) return false;
      } else if (startsWith("--")) {
        // A line comment ends at a line end and at any other blank, and Regina rejects any
        // other control character in it.
        while (!atEnd() && (peek() == ' ' || !(isLineEnd(peek()) || isBlank(peek())))) {
          if (peek() < 0x20) return false;
          skip();
        }
      } else {
        break;
      }
    }
    return true;
  }

 private:
  const char* source_;
  std::size_t size_;
  std::size_t i_ = 0;
  bool lineStart_ = true;
};

}  // namespace

std::optional<std::size_t> lineOfFirstNul(const char* source, std::size_t size) {
  const void* nul = std::memchr(source, '\0', size);
  if (nul == nullptr) return std::nullopt;
  const char* end = static_cast<const char*>(nul);
  return static_cast<std::size_t>(std::count(source, end, '\n')) + 1;
}

bool holdsNoClause(const char* source, std::size_t size) {
  Scanner scan(source, size);
  if (scan.startsWith("#!")) scan.skipRestOfLine();
  for (;;) {
    if (!scan.skipBlanks()) return false;  // an open comment is an error for Regina to report
    if (scan.atEnd()) return true;
    const unsigned char c = scan.peek();
    if (Scanner::isLineEnd(c) || c == ';') {
      scan.skip();
    } else if (c == ',') {
      // Only a comma that continues the line is no clause; any other is a syntax error.
      scan.skip();
      if (!scan.skipBlanks()) return false;
      if (!scan.atEnd() && !Scanner::isLineEnd(scan.peek())) return false;
    } else if (c == 0x1a && scan.atLineStart()) {
      // The old end-of-file mark, taken as such only where a line starts and the file ends.
      scan.skip();
      if (!scan.atEnd()) return false;
    } else {
      return false;
    }
  }
}

}  // namespace tavmor
