// Run by the build: lays the boundary lines out once and writes the bytes the program embeds.
//   MakeBoundaryLayout OUTPUT COAST NATION ISLAND   (the polyline files of BoundaryResources)
#include "render/BoundaryLayout.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char* argv[]) {
    using namespace nimbora;
    constexpr int Files = static_cast<int>(std::size(BoundaryResources));
    if (argc != 2 + Files) {
        std::fprintf(stderr, "usage: %s OUTPUT then %d polyline files\n", argv[0], Files);
        return 2;
    }
    std::vector<std::vector<TPolyline>> resources;
    for (int i = 2; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        resources.push_back(ReadPolylines(bytes));
        if (!file || resources.back().empty()) {
            std::fprintf(stderr, "%s: no polylines in %s\n", argv[0], argv[i]);
            return 1;
        }
    }
    const std::vector<std::uint8_t> bytes = StoreLineLayout(LayOutBoundaries(resources));
    const std::string temporary = std::string(argv[1]) + ".part";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out || std::rename(temporary.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
