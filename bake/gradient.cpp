#include "gradient.h"

#include <cstddef>

void goodnessGradient(const std::vector<double>& g, int width, int height, double scale,
                      std::vector<float>& gx, std::vector<float>& gy) {
    const size_t cells = static_cast<size_t>(width) * height;
    gx.assign(cells, 0.0f);
    gy.assign(cells, 0.0f);
    auto at = [&](int i, int j) { return g[static_cast<size_t>(j) * width + i]; };
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const int left = i == 0 ? width - 1 : i - 1;
            const int right = i == width - 1 ? 0 : i + 1;
            const double dx = (at(right, j) - at(left, j)) * 0.5;
            double dy = 0;
            if (height > 1) {
                if (j == 0)
                    dy = at(i, 1) - at(i, 0);
                else if (j == height - 1)
                    dy = at(i, j) - at(i, j - 1);
                else
                    dy = (at(i, j + 1) - at(i, j - 1)) * 0.5;
            }
            const size_t cell = static_cast<size_t>(j) * width + i;
            gx[cell] = static_cast<float>(dx * scale);
            gy[cell] = static_cast<float>(dy * scale);
        }
}
