// Writes the deterministic placeholder firmware image used when the build is not given
// a real one: pseudo-random bytes from a fixed seed, with a revision at 0x3020.
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_placeholder_image OUTPUT\n");
        return 2;
    }
    const size_t size = 0x240000;
    std::vector<unsigned char> image(size);
    uint64_t state = 0x51495246574D4147ull; // fixed seed: every build makes the same bytes
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        image[i] = static_cast<unsigned char>(state >> 24);
    }
    const char revision[] = "VDL9K2QC";
    for (int i = 0; i < 8; ++i)
        image[0x3020 + i] = static_cast<unsigned char>(revision[i]);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(image.data(), 1, size, out) != size || std::fclose(out) != 0) {
        std::fprintf(stderr, "make_placeholder_image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
