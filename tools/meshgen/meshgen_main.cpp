// orrelin-meshgen: writes a generated triangle file of exactly N triangles
// (orrelin/meshgen/meshgen.h makes the text).

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "orrelin/meshgen/meshgen.h"

namespace {

constexpr const char* kUsage = "usage: orrelin-meshgen KIND N OUT.tri [--seed S]\n";

constexpr const char* kHelp =
    "usage: orrelin-meshgen KIND N OUT.tri [--seed S]\n"
    "\n"
    "Writes a triangle file with exactly N triangles ('v X Y' and 'f A B C' lines,\n"
    "0-based indices) inside the square [0, 1000] x [0, 1000].\n"
    "\n"
    "kinds:\n"
    "  grid      a jittered regular grid, two triangles per cell\n"
    "  density   a jittered grid whose cells crowd around a few spots\n"
    "  slivers   long thin triangles from the bottom edge to the top edge\n"
    "  holes     a jittered grid with two round holes in it\n"
    "\n"
    "arguments:\n"
    "  N          number of triangles, 1 to 1431655765\n"
    "  --seed S   seed of the jitter, 0 to 18446744073709551615 (default 1)\n"
    "  -h, --help show this help and exit\n"
    "\n"
    "The same arguments give the same file on every platform.\n"
    "exit status: 0 when the file was written, 1 when it could not be written,\n"
    "2 on bad arguments.\n";

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "orrelin-meshgen: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

bool parseWholeUnsigned(std::string_view text, std::uint64_t& out) {
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

struct Options {
    MeshKind kind = MeshKind::Grid;
    std::uint64_t triangles = 0;
    std::string out;
    std::uint64_t seed = 1;
};

Options parseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string_view> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (arg == "--seed") {
            if (i + 1 >= argc) usageError("--seed needs a number");
            const std::string_view v = argv[++i];
            if (!parseWholeUnsigned(v, options.seed)) {
                usageError("--seed must be a whole number from 0 to 18446744073709551615, not '" + std::string(v) +
                           "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
            usageError("unknown option '" + std::string(arg) + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3) {
        usageError(positional.size() < 3 ? "KIND, N and OUT.tri are required" : "too many arguments");
    }
    if (!meshKindFromName(positional[0], options.kind)) {
        usageError("unknown KIND '" + std::string(positional[0]) + "' (grid, density, slivers or holes)");
    }
    if (!parseWholeUnsigned(positional[1], options.triangles) || options.triangles < 1 ||
        options.triangles > kMaxGeneratedTriangles) {
        usageError("N must be a whole number from 1 to " + std::to_string(kMaxGeneratedTriangles) + ", not '" +
                   std::string(positional[1]) + "'");
    }
    options.out = std::string(positional[2]);
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);

    std::FILE* file = std::fopen(options.out.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "orrelin-meshgen: cannot open '%s' for writing: %s\n", options.out.c_str(),
                     std::strerror(errno));
        return 1;
    }
    // A failed write stops the generation.
    bool ok = writeGeneratedMesh(options.kind, options.triangles, options.seed,
                                 [file](std::string_view piece, std::uint64_t, std::uint64_t) {
                                     return std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
                                 });
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "orrelin-meshgen: writing '%s' failed\n", options.out.c_str());
        std::remove(options.out.c_str());
        return 1;
    }
    return 0;
}
