// pack IN OUT: writes IN compressed, as the assets library unpacks it: "RZ", the unpacked size
// as a 32-bit little-endian number, then one zlib stream. The device pictures are mostly flat
// colour and transparent overlays, so this shrinks the programs from about 33 MB to a few.
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pack IN OUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<unsigned char> raw{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
  if (!in.eof() && in.fail()) {
    std::fprintf(stderr, "pack: cannot read %s\n", argv[1]);
    return 1;
  }
  uLongf packedSize = compressBound(raw.size());
  std::vector<unsigned char> out(6 + packedSize);
  out[0] = 'R';
  out[1] = 'Z';
  for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<unsigned char>(raw.size() >> (8 * i));
  if (compress2(out.data() + 6, &packedSize, raw.data(), raw.size(), Z_BEST_COMPRESSION) != Z_OK) {
    std::fprintf(stderr, "pack: cannot compress %s\n", argv[1]);
    return 1;
  }
  out.resize(6 + packedSize);
  std::ofstream o(argv[2], std::ios::binary);
  o.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!o.flush()) {
    std::fprintf(stderr, "pack: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
