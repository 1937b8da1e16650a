// rdr image --product RHI / TH: range-height and time-height images of volumes whose sweeps
// are not plan views. The image command parses the options and hands the loaded volume here.
#ifndef RDR_TOOL_SECTION_IMAGE_COMMAND_H
#define RDR_TOOL_SECTION_IMAGE_COMMAND_H

#include <string>
#include <vector>

#include "standard_volume.h"

struct SectionImageRequest {
    std::string input;
    std::vector<std::string> products;  // "RHI" or "TH"
    std::vector<std::string> outputs;   // one per product; "-" is standard output
    std::vector<int> types;             // image type per product
    std::string field;                  // empty: the volume's first reflectivity moment
    std::string site;
    int sweep = -1;
    float rangeKm = 0.0f;
    float maxHeightKm = 0.0f;
    int width = 0;
    int height = 0;
};

// True for the products drawn here.
bool isSectionProduct(const std::string& product);

// Draws every product of the request from the loaded volume, refusing a product whose scan
// geometry does not suit it. The exit status of the command.
int drawSectionImages(STD_RADAR* pStd, const SectionImageRequest& request);

#endif
