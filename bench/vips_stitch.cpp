// The same page stitched with libvips in one long-running process, for comparison:
// twelve tiles joined 3 across with vips_arrayjoin and saved as JPEG at quality 90.
//
//   vips_stitch N TILE_DIR OUT_DIR     prints "<ms per page, wall> <ms per page, cpu>"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <vips/vips.h>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PAGES TILE_DIR OUT_DIR\n", argv[0]);
        return 2;
    }
    if (VIPS_INIT(argv[0]))
        vips_error_exit(nullptr);
    const int pages = std::atoi(argv[1]);
    const std::string tiles = argv[2];
    const std::string out = argv[3];

    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    for (int page = 0; page < pages; ++page) {
        std::vector<VipsImage *> in;
        for (int r = 1; r <= 4; ++r)
            for (int c = 1; c <= 3; ++c) {
                const std::string name = tiles + "/0001_" + std::to_string(r) + "_" + std::to_string(c) + ".jpg";
                VipsImage *image = vips_image_new_from_file(name.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
                if (!image)
                    vips_error_exit(nullptr);
                in.push_back(image);
            }
        VipsImage *joined = nullptr;
        if (vips_arrayjoin(in.data(), &joined, static_cast<int>(in.size()), "across", 3, nullptr))
            vips_error_exit(nullptr);
        const std::string target = out + "/page.jpg";
        if (vips_jpegsave(joined, target.c_str(), "Q", 90, nullptr))
            vips_error_exit(nullptr);
        g_object_unref(joined);
        for (VipsImage *image : in)
            g_object_unref(image);
    }
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("%.1f %.1f\n", wall / pages, cpu / pages);
    vips_shutdown();
    return 0;
}
