// Colour table block: header, parse and writer.
#include "formats/table_block.h"

#include <cstring>

namespace vantik::formats {
namespace {

int16_t S16(const uint8_t* p, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>((p[at] << 8) | p[at + 1]));
}

void PutS16(std::vector<uint8_t>& b, size_t at, int16_t v) {
  b[at] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

}  // namespace

bool ReadTableHeader(std::span<const uint8_t> block, TableHeader& h) {
  if (block.size() < kTableHeaderBytes) return false;
  const uint8_t* b = block.data();
  std::memcpy(h.tag, b, 15);
  h.tag[15] = '\0';
  h.tableClass = b[15];
  h.tableType = b[24];
  for (int i = 0; i < 3; ++i) {
    h.primaryGain[i] = b[32 + i];
    h.hueShift[i] = static_cast<int8_t>(b[36 + i]);
    h.secondaryGain[i] = static_cast<int8_t>(b[42 + i]);
    h.nodes[i] = b[72 + i];
  }
  h.saturationBoost = static_cast<int8_t>(b[39]);
  for (int i = 0; i < 5; ++i) h.weights[i] = S16(b, 48 + 2 * static_cast<size_t>(i));
  for (int i = 0; i < 4; ++i) h.params[i] = S16(b, 64 + 2 * static_cast<size_t>(i));
  h.bytesPerNode = b[75];
  return true;
}

Outcome ParseTableBlock(ByteReader& r, TableBlockView& v) {
  if (!r.Has(0, kTableHeaderBytes)) return Outcome::Bad("shorter than its 76-byte header");
  ReadTableHeader({r.data(), kTableHeaderBytes}, v.header);
  const int32_t n = v.header.nodes[0];
  v.n = n;
  v.w = v.header.bytesPerNode;
  if (v.header.nodes[1] != n || v.header.nodes[2] != n)
    return Outcome::Bad("the three node counts differ");
  if (n > kTableMaxNodes) return Outcome::Bad("more than 32 nodes per axis");
  if (v.w == 0) return Outcome::Bad("no bytes per node");
  if (n * v.w > kTableMaxRowBytes) return Outcome::Bad("nodes x bytes per node exceeds 192");
  if (!r.Has(kTableHeaderBytes, 3 * static_cast<size_t>(n)))
    return Outcome::Bad("ends inside the node positions");
  v.positions = r.data() + kTableHeaderBytes;
  for (int axis = 0; axis < 3; ++axis)
    if (!PositionsRise(v.positions + axis * n, n))
      return Outcome::Bad("node positions do not rise strictly from 0 to 255");
  v.tableBytes = static_cast<size_t>(n) * n * n * v.w;
  const size_t tableAt = kTableHeaderBytes + 3 * static_cast<size_t>(n);
  if (!r.Has(tableAt, v.tableBytes)) return Outcome::Bad("ends inside the table");
  v.table = r.data() + tableAt;
  const size_t grayAt = tableAt + v.tableBytes;
  const size_t diagonalAt = grayAt + static_cast<size_t>(n);
  v.gray = r.Has(grayAt, static_cast<size_t>(n)) ? r.data() + grayAt : nullptr;
  v.diagonal = r.Has(diagonalAt, static_cast<size_t>(n) * v.w) ? r.data() + diagonalAt : nullptr;
  return {};
}

std::vector<uint8_t> WriteTableBlock(const TableContent& t) {
  std::vector<uint8_t> b(kTableHeaderBytes, 0);
  for (size_t i = 0; i < t.tag.size() && i < 15; ++i) b[i] = static_cast<uint8_t>(t.tag[i]);
  b[15] = t.tableClass;
  b[24] = t.tableType;
  for (int i = 0; i < 3; ++i) {
    b[32 + i] = t.primaryGain[i];
    b[36 + i] = static_cast<uint8_t>(t.hueShift[i]);
    b[42 + i] = static_cast<uint8_t>(t.secondaryGain[i]);
  }
  b[39] = static_cast<uint8_t>(t.saturationBoost);
  for (int i = 0; i < 5; ++i) PutS16(b, 48 + 2 * static_cast<size_t>(i), t.weights[i]);
  for (int i = 0; i < 4; ++i) PutS16(b, 64 + 2 * static_cast<size_t>(i), t.params[i]);
  b[72] = b[73] = b[74] = static_cast<uint8_t>(t.n);
  b[75] = static_cast<uint8_t>(t.w);
  for (const std::vector<uint8_t>* part : {&t.positions, &t.table, &t.gray, &t.diagonal})
    b.insert(b.end(), part->begin(), part->end());
  return b;
}

// Equal, non-zero node counts and a block long enough for its table (the
// kind is told by its shape; the positions are not judged).
bool FitsTableBlock(int, std::span<const uint8_t> bytes) {
  const size_t n = bytes.size();
  if (n < kTableHeaderBytes) return false;
  const size_t g = bytes[72], w = bytes[75];
  const size_t l = g * g * g * w;
  return g > 0 && w > 0 && bytes[73] == g && bytes[74] == g && n >= kTableHeaderBytes + 3 * g + l;
}

}  // namespace vantik::formats
