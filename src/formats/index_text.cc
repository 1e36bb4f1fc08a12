// Colour-table index: tokenizer, parser, name resolution and writer.
//
// Every scan of the text has a bound (entry count, name, token and
// line-remainder lengths, list sizes); input beyond a bound is refused as a
// whole.
#include "formats/index_text.h"

#include <cstring>

namespace vantik::formats {
namespace {

constexpr uint8_t kTab = 0x09;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kEndOfFile = 0x1A;

struct Token {
  char bytes[kIndexMaxTokenBytes + 1];
  int length;
  bool Empty() const { return length == 0; }
};

// Cursor over the index text.  Any scan that runs past a limit latches
// failure with its reason; the parse then stops.
class Text {
 public:
  explicit Text(ByteReader& block) : block_(block) {}

  bool ok() const { return reason_ == nullptr; }
  const char* reason() const { return reason_; }
  void Fail(const char* why) {
    if (reason_ == nullptr) reason_ = why;
  }

  // The byte under the cursor; 0 at (or past) the end of the text.
  uint8_t Peek() const {
    if (!block_.Has(pos_, 1)) return 0;
    const uint8_t b = block_.data()[pos_];
    return b == kEndOfFile ? 0 : b;
  }
  bool AtTextEnd() const { return Peek() == 0; }
  bool AtLineEnd() const {
    const uint8_t b = Peek();
    return b == kCr || b == kLf;
  }
  bool AtBreak() const { return AtTextEnd() || AtLineEnd(); }
  void Advance() {
    if (!AtTextEnd()) ++pos_;
  }

  // Skips TABs and spaces, then reads a token; at a line or text end the
  // token is empty and the cursor stays.  A token over 255 bytes fails.
  void ReadToken(Token& token) {
    token.length = 0;
    token.bytes[0] = '\0';
    if (!ok()) return;
    while (Peek() == kTab || Peek() == kSpace) Advance();
    while (!AtBreak() && Peek() != kTab && Peek() != kSpace) {
      if (token.length == kIndexMaxTokenBytes) {
        Fail("a token is longer than 255 bytes");
        token.length = 0;
        token.bytes[0] = '\0';
        return;
      }
      token.bytes[token.length++] = static_cast<char>(Peek());
      Advance();
    }
    token.bytes[token.length] = '\0';
  }

  // Skips the rest of the line (at most 255 bytes) and the run of CR and LF
  // bytes that ends it.
  void SkipLine() {
    if (!ok()) return;
    int skipped = 0;
    while (!AtBreak()) {
      if (skipped == kIndexMaxRemainderBytes) {
        Fail("a line runs on for more than 255 bytes after its last token");
        return;
      }
      ++skipped;
      Advance();
    }
    SkipLineEnd();
  }
  void SkipLineEnd() {
    while (AtLineEnd()) Advance();
  }

  // Moves past the first '/' of the block and the one byte after it.  The
  // bytes before the '/' are not text: an end byte among them ends nothing,
  // and the byte after it is skipped whatever it is.  Only the block's
  // length bounds the scan; a block of the length-less form has none, so
  // there an end byte still stops it (and is not stepped over).  Fails when
  // no '/' is found.
  void SkipPastSlashAndNextByte() {
    const bool bounded = block_.bounded();
    for (;;) {
      if (!block_.Has(pos_, 1)) {
        Fail("no '/' opens the header");
        return;
      }
      const uint8_t b = block_.data()[pos_];
      if (b == '/') break;
      if (!bounded && (b == 0 || b == kEndOfFile)) {
        Fail("the text ends before the '/' that opens the header");
        return;
      }
      ++pos_;
    }
    ++pos_;
    if (bounded ? block_.Has(pos_, 1) : !AtTextEnd()) ++pos_;
  }

 private:
  ByteReader& block_;
  size_t pos_ = 0;
  const char* reason_ = nullptr;
};

constexpr const char* kLongName = "a name is longer than 11 bytes";

bool CopyName(const Token& token, char (&name)[12]) {
  if (token.length > kIndexMaxNameBytes) return false;
  std::memcpy(name, token.bytes, static_cast<size_t>(token.length) + 1);
  return true;
}

void AddName(Text& text, IndexNameList& list, int limit, const Token& token) {
  if (list.count == limit) {
    text.Fail("a name list holds more names than it may");
    return;
  }
  if (token.length > kIndexMaxNameBytes) {
    text.Fail(kLongName);
    return;
  }
  std::memcpy(list.names[list.count], token.bytes,
              static_cast<size_t>(token.length) + 1);
  list.lengths[list.count] = token.length;
  ++list.count;
}

// Reads the names that remain on the current line.
void ReadNames(Text& text, IndexNameList& list, int limit, Token& token) {
  for (text.ReadToken(token); text.ok() && !token.Empty(); text.ReadToken(token)) {
    AddName(text, list, limit, token);
  }
}

// Parses the entry lines; returns their number, -1 on failure.
int ParseEntries(Text& text, IndexEntry* entries, Token& token) {
  int count = 0;
  for (;;) {
    text.ReadToken(token);
    if (!text.ok()) return -1;
    if (token.bytes[0] == '/') {
      text.SkipLine();
      return text.ok() ? count : -1;
    }
    if (token.Empty() && text.AtTextEnd()) {
      text.Fail("the text ends before the '/' line that closes the entries");
      return -1;
    }
    if (count == kIndexMaxEntries) {
      text.Fail("more than 100 entries");
      return -1;
    }
    IndexEntry& e = entries[count];
    e.tableNumber = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    e.halftoneNumber = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    if (!CopyName(token, e.kindName)) return text.Fail(kLongName), -1;
    text.ReadToken(token);
    if (!CopyName(token, e.list2Name)) return text.Fail(kLongName), -1;
    text.ReadToken(token);
    e.xResolution = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    e.yResolution = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    if (!CopyName(token, e.modeName)) return text.Fail(kLongName), -1;
    text.ReadToken(token);
    e.selector = IndexDecimal(token.bytes, token.length);
    e.kindIndex = e.modeIndex = e.list2Number = 0;
    text.SkipLine();
    if (!text.ok()) return -1;
    ++count;
  }
}

void Append(std::vector<uint8_t>& out, std::string_view s) {
  out.insert(out.end(), s.begin(), s.end());
}

void AppendList(std::vector<uint8_t>& out, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    Append(out, name);
    out.push_back(' ');
  }
}

}  // namespace

int32_t IndexNameList::LastPosition(const char* name, int32_t none) const {
  const size_t length = std::strlen(name);
  int32_t found = none;
  for (int i = 0; i < count; ++i) {
    if (static_cast<size_t>(lengths[i]) == length &&
        std::memcmp(names[i], name, length) == 0) {
      found = i;
    }
  }
  return found;
}

int32_t IndexDecimal(const char* token, int length) {
  uint32_t value = 0;
  bool negative = false;
  for (int i = 0; i < length; ++i) {
    const int8_t b = static_cast<int8_t>(token[i]);
    if (b == '-') {
      negative = true;
      continue;
    }
    value = value * 10u + static_cast<uint32_t>(static_cast<int32_t>(b) - 0x30);
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

Outcome ParseIndex(ByteReader& block, IndexEntry* entries, IndexView& out) {
  Text text(block);
  Token token;
  out = IndexView{};
  out.entries = entries;

  text.SkipPastSlashAndNextByte();  // the header, up to its first '/' and one byte more ...
  text.SkipLine();                  // ... and the rest of that line
  text.SkipLine();                  // one more line, whatever it holds
  const int count = text.ok() ? ParseEntries(text, entries, token) : -1;
  if (count >= 0) {
    ReadNames(text, out.kinds, kIndexMaxKindNames, token);
    text.SkipLineEnd();
    // Name list 2 opens with its base number unless its first token is a
    // name ('P...').
    text.ReadToken(token);
    if (text.ok() && !token.Empty()) {
      if (token.bytes[0] == 'P') {
        AddName(text, out.list2, kIndexMaxList2Names, token);
      } else {
        out.list2Base = IndexDecimal(token.bytes, token.length);
      }
    }
    ReadNames(text, out.list2, kIndexMaxList2Names, token);
    text.SkipLineEnd();
    // Nothing after name list 3 is read.
    ReadNames(text, out.modes, kIndexMaxModeNames, token);
  }
  if (count < 0 || !text.ok()) return Outcome::Bad(text.reason());
  out.count = count;
  return {};
}

void ResolveIndexNames(IndexView& index) {
  for (int i = 0; i < index.count; ++i) {
    IndexEntry& e = index.entries[i];
    e.kindIndex = index.kinds.LastPosition(e.kindName, 0);
    const int32_t p2 = index.list2.LastPosition(e.list2Name, -1);
    e.list2Number = p2 < 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(index.list2Base) +
                                                      static_cast<uint32_t>(p2));
    e.modeIndex = index.modes.LastPosition(e.modeName, 0);
  }
}

std::vector<uint8_t> WriteIndex(const IndexContent& index) {
  std::vector<uint8_t> out;
  const std::string& eol = index.lineEnd;
  Append(out, "/" + index.header + eol);
  Append(out, index.columns + eol);
  for (const IndexContent::Entry& e : index.entries) {
    Append(out, std::to_string(e.table) + " " + std::to_string(e.halftone) + " " + e.kind +
                    " " + e.list2 + " " + std::to_string(e.xResolution) + " " +
                    std::to_string(e.yResolution) + " " + e.mode + " " +
                    std::to_string(e.selector) + eol);
  }
  Append(out, "/" + index.endLine + eol);
  AppendList(out, index.kinds);
  Append(out, eol);
  if (index.hasList2Base) Append(out, std::to_string(index.list2Base) + " ");
  AppendList(out, index.list2);
  Append(out, eol);
  AppendList(out, index.modes);
  Append(out, eol);
  if (index.nulTerminated) out.push_back(0);
  return out;
}

bool FitsIndex(int, std::span<const uint8_t> bytes) {
  if (!LooksLikeText(bytes)) return false;
  const auto text = TextPart(bytes);
  for (uint8_t b : text)
    if (b == '/') return true;
  return false;
}

}  // namespace vantik::formats
