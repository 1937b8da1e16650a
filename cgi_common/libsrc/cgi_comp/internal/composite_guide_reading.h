// The three forecast grids of the guide image, read in parallel: one record per reader, which
// each worker fills alone; the caller looks at the records only after every worker has been
// joined.
#ifndef CGI_COMP_INTERNAL_COMPOSITE_GUIDE_READING_H
#define CGI_COMP_INTERNAL_COMPOSITE_GUIDE_READING_H

#include <functional>
#include <span>
#include <string>
#include <thread>

#include "internal/composite_grid.h"

namespace comp_guide {

// One forecast grid to read. Names are held whole: a long file name is never cut into the
// name of another file.
struct GuideRead {
    std::string product;  // "MAPLE" and "PIRET" read MAPLE fields, others hourly grids
    std::string fileName;
    int nCompXdim = 0;
    int nCompYdim = 0;
    int nFcstTime = 0;          // lead, minutes
    comp_grid::MatrixPtr grid;  // the result; null when the grid could not be read
};

// Reads one record's grid (the body of a worker).
void readGuideGrid(GuideRead& read);

// Starts a worker thread for a record; false when no thread could be started.
using ThreadStarter = std::function<bool(std::thread& worker, GuideRead& read)>;
bool startWorker(std::thread& worker, GuideRead& read);

// Reads every record, each in a worker of its own; a record whose worker could not be
// started is read in the calling thread instead. Only started workers are joined.
void readGuideGrids(std::span<GuideRead> reads, const ThreadStarter& start = startWorker);

}  // namespace comp_guide

#endif
