// Colour-table index: tokenizer, parser and lookup.
//
// After the header (everything up to the block's first '/', whatever bytes it
// holds), the text ends at a 0x00 or 0x1A byte or at the end of the block,
// whichever comes first; nothing past that end is read.  Every scan of the format has a
// bound (entry count, name, token and line-remainder lengths, list sizes) and
// input beyond a bound is refused as a whole.
#include "colormatch/cm_index.h"

#include <cstring>

#include "interface/memblock.h"

namespace vantik::colormatch {
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

struct NameList {
  char names[kIndexMaxList2Names][kIndexMaxNameBytes + 1];
  int lengths[kIndexMaxList2Names];
  int count;
};

// Cursor over the index text.  Any scan that runs past a format limit
// latches failure; the parse then stops.
class IndexText {
 public:
  explicit IndexText(ByteReader& block) : block_(block) {}

  bool ok() const { return ok_; }
  void Fail() { ok_ = false; }

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
    if (!ok_) return;
    while (Peek() == kTab || Peek() == kSpace) Advance();
    while (!AtBreak() && Peek() != kTab && Peek() != kSpace) {
      if (token.length == kIndexMaxTokenBytes) {
        Fail();
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
    if (!ok_) return;
    int skipped = 0;
    while (!AtBreak()) {
      if (skipped == kIndexMaxRemainderBytes) {
        Fail();
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
        Fail();
        return;
      }
      const uint8_t b = block_.data()[pos_];
      if (b == '/') break;
      if (!bounded && (b == 0 || b == kEndOfFile)) {
        Fail();
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
  bool ok_ = true;
};

bool CopyName(const Token& token, char (&name)[12]) {
  if (token.length > kIndexMaxNameBytes) return false;
  std::memcpy(name, token.bytes, static_cast<size_t>(token.length) + 1);
  return true;
}

void AddName(IndexText& text, NameList& list, int limit, const Token& token) {
  if (list.count == limit || token.length > kIndexMaxNameBytes) {
    text.Fail();
    return;
  }
  std::memcpy(list.names[list.count], token.bytes,
              static_cast<size_t>(token.length) + 1);
  list.lengths[list.count] = token.length;
  ++list.count;
}

// Reads the names that remain on the current line.
void ReadNames(IndexText& text, NameList& list, int limit, Token& token) {
  for (text.ReadToken(token); text.ok() && !token.Empty(); text.ReadToken(token)) {
    AddName(text, list, limit, token);
  }
}

// Position of the last name of the list equal to name, or `none`.
int32_t LastPosition(const NameList& list, const char* name, int32_t none) {
  const size_t length = std::strlen(name);
  int32_t found = none;
  for (int i = 0; i < list.count; ++i) {
    if (static_cast<size_t>(list.lengths[i]) == length &&
        std::memcmp(list.names[i], name, length) == 0) {
      found = i;
    }
  }
  return found;
}

// Parses the entry lines into entries; returns their number, -1 on failure.
int ParseEntries(IndexText& text, TableIndexEntry* entries, Token& token) {
  int count = 0;
  for (;;) {
    text.ReadToken(token);
    if (!text.ok()) return -1;
    if (token.bytes[0] == '/') {
      text.SkipLine();
      return text.ok() ? count : -1;
    }
    // The entries must end with a '/' line before the text does.
    if (token.Empty() && text.AtTextEnd()) return -1;
    if (count == kIndexMaxEntries) return -1;
    TableIndexEntry& e = entries[count];
    e.tableNumber = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    e.halftoneNumber = IndexDecimal(token.bytes, token.length);
    if (e.halftoneNumber == 0) e.halftoneNumber = -1;
    text.ReadToken(token);
    if (!CopyName(token, e.kindName)) return -1;
    text.ReadToken(token);
    if (!CopyName(token, e.list2Name)) return -1;
    text.ReadToken(token);
    e.xResolution = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    e.yResolution = IndexDecimal(token.bytes, token.length);
    text.ReadToken(token);
    if (!CopyName(token, e.modeName)) return -1;
    text.ReadToken(token);
    e.selector = IndexDecimal(token.bytes, token.length);
    text.SkipLine();
    if (!text.ok()) return -1;
    ++count;
  }
}

}  // namespace

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

uint32_t CmIndexLookup(CmInstance& instance, ByteReader& block,
                       int32_t* tableNumber) {
  TableIndexEntry* entries = nullptr;
  const uint32_t got = MemAllocLocked(kIndexWorkBytes, 1, &entries);
  if (got != RC_OK) return got;
  void* work = entries;

  IndexText text(block);
  Token token;
  NameList kinds{};
  NameList list2{};
  NameList modes{};
  int32_t list2Base = 0;

  text.SkipPastSlashAndNextByte();  // the header, up to its first '/' and one byte more ...
  text.SkipLine();                  // ... and the rest of that line
  text.SkipLine();       // one more line, whatever it holds
  const int count = text.ok() ? ParseEntries(text, entries, token) : -1;
  if (count >= 0) {
    ReadNames(text, kinds, kIndexMaxKindNames, token);
    text.SkipLineEnd();
    // Name list 2 opens with its base number unless its first token is a
    // name ('P...').
    text.ReadToken(token);
    if (text.ok() && !token.Empty()) {
      if (token.bytes[0] == 'P') {
        AddName(text, list2, kIndexMaxList2Names, token);
      } else {
        list2Base = IndexDecimal(token.bytes, token.length);
      }
    }
    ReadNames(text, list2, kIndexMaxList2Names, token);
    text.SkipLineEnd();
    // Nothing after name list 3 is read.
    ReadNames(text, modes, kIndexMaxModeNames, token);
  }
  if (count < 0 || !text.ok()) {
    MemUnlock(work);
    MemFree(work);
    return RC_BAD_RESOURCE;
  }

  // Resolve the names (the last equal name of a list wins; a name in no list
  // resolves to 0, not to the base), then walk every entry: the last match
  // gives the result.
  int32_t result = 0;
  for (int i = 0; i < count; ++i) {
    TableIndexEntry& e = entries[i];
    e.kindIndex = LastPosition(kinds, e.kindName, 0);
    const int32_t p2 = LastPosition(list2, e.list2Name, -1);
    e.list2Number = p2 < 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(list2Base) +
                                                      static_cast<uint32_t>(p2));
    e.modeIndex = LastPosition(modes, e.modeName, 0);
    if (e.kindIndex == instance.params.kind &&
        e.modeIndex == static_cast<int32_t>(instance.tableMode) &&
        e.list2Number == instance.adjust.field[kAdjustPaper] &&
        e.selector == instance.adjust.field[kAdjustTableSelector] &&
        e.xResolution == instance.params.xResolution &&
        e.yResolution == instance.params.yResolution) {
      result = e.tableNumber;
      instance.tableNumber = e.tableNumber;
      instance.halftoneNumber = e.halftoneNumber;
    }
  }

  MemUnlock(work);
  MemFree(work);
  *tableNumber = result;
  return RC_OK;
}

}  // namespace vantik::colormatch
