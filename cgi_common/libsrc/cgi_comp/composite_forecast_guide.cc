// Parallel reading of the three forecast grids of the guide image.
#include <string>
#include <system_error>
#include <vector>

#include "composite_input.h"
#include "internal/composite_guide_reading.h"

namespace comp_guide {

void readGuideGrid(GuideRead& read) {
    const bool maple = read.product == "MAPLE" || read.product == "PIRET";
    float** grid = maple ? fnGetCompMapleData(read.fileName.c_str(), read.nCompXdim, read.nCompYdim,
                                              read.nFcstTime)
                         : fnGetCompVsrfData(read.fileName.c_str(), read.nCompXdim, read.nCompYdim,
                                             read.nFcstTime);
    read.grid.reset(grid);
}

bool startWorker(std::thread& worker, GuideRead& read) {
    try {
        worker = std::thread([&read] { readGuideGrid(read); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void readGuideGrids(std::span<GuideRead> reads, const ThreadStarter& start) {
    std::vector<std::thread> workers(reads.size());
    std::vector<bool> started(reads.size(), false);
    for (size_t i = 0; i < reads.size(); ++i) {
        started[i] = start(workers[i], reads[i]);
    }
    for (size_t i = 0; i < reads.size(); ++i) {
        if (started[i] && workers[i].joinable()) {
            workers[i].join();
        } else {
            readGuideGrid(reads[i]);
        }
    }
}

}  // namespace comp_guide
