// Site table, the four output files and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bln_projection.h"
#include "bln_test_support.h"
#include "site_table.h"
#include "sitebln.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(BlnSiteTable, KnownCodesGiveTheirPositions) {
    float lon = 0;
    float lat = 0;
    ASSERT_EQ(rdr_position("KWK", &lon, &lat), 0);
    EXPECT_EQ(lon, 126.966110f);
    EXPECT_EQ(lat, 37.441944f);
    ASSERT_EQ(rdr_position("RKJK", &lon, &lat), 0);
    EXPECT_EQ(lon, 126.625000f);
    EXPECT_EQ(lat, 35.920834f);
    ASSERT_EQ(rdr_position("RKSG", &lon, &lat), 0);
    EXPECT_EQ(lon, 127.285561f);
    ASSERT_EQ(rdr_position("GSN", &lon, &lat), 0);
    EXPECT_EQ(lat, 33.260834f);
    EXPECT_EQ(fnBlnSiteCount(), 20);
}

TEST(BlnSiteTable, CodesMatchAsWholeStrings) {
    float lon = -1;
    float lat = -1;
    for (const char* code : {"KWKX", "RKJ", "RKJKK", "kwk", "", " KWK", "XYZ"}) {
        EXPECT_EQ(rdr_position(code, &lon, &lat), -1) << code;
    }
    EXPECT_EQ(lon, -1) << "an unknown code leaves the outputs alone";
}

// Grid position of a point for the site, by the projection its own test checks against proj.
blntest::BlnPoint gridPoint(float siteLon, float siteLat, double lon, double lat) {
    BLN_AZED_MAP map = fnBlnSiteMap(siteLon, siteLat);
    blntest::BlnPoint p{-1, -1};
    EXPECT_TRUE(
        fnBlnAzedForward(static_cast<float>(lon), static_cast<float>(lat), &p.x, &p.y, &map));
    return p;
}

// The points of a run equal the input points projected for the site, in order.
void expectProjectedRun(const blntest::BlnRun& run, float siteLon, float siteLat,
                        const std::vector<std::pair<double, double>>& lonLat) {
    ASSERT_EQ(run.points.size(), lonLat.size());
    for (size_t i = 0; i < lonLat.size(); ++i) {
        blntest::BlnPoint want = gridPoint(siteLon, siteLat, lonLat[i].first, lonLat[i].second);
        EXPECT_FLOAT_EQ(run.points[i].x, want.x) << "point " << i;
        EXPECT_FLOAT_EQ(run.points[i].y, want.y) << "point " << i;
    }
}

const std::vector<std::pair<double, double>> kInsideLine = {
    {126.5, 37.0}, {127.0, 37.5}, {127.5, 37.7}};

// A resource root with its own map inputs and output directory; RDR_ROOT points at it
// for the life of the object.
class BlnRoot {
  public:
    BlnRoot() : rootGuard_(dir_.path().string()) {
        fs::create_directories(dir_.path() / "DATA/GIS/MAP");
        fs::create_directories(dir_.path() / "www/yek/cgi-src/rdr/bln");
    }
    fs::path path() const { return dir_.path(); }
    void writeMap(int index, const std::string& text) {
        blntest::writeText(dir_.path().string() + fnBlnMapPath(index), text);
    }
    void writeAllMaps() {
        for (int i = 0; i < kBlnMapCount; ++i) {
            writeMap(i, blntest::polyline(std::to_string(i + 1), kInsideLine));
        }
    }
    int filesIn(const fs::path& dir) const {
        int n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
            ++n;
        return n;
    }

  private:
    rdrtest::TempDir dir_;
    blntest::ScopedRdrRoot rootGuard_;
};

TEST(BlnOutputs, FourFilesNamedBySiteAndMapNumber) {
    BlnRoot root;
    root.writeAllMaps();
    // New files follow the umask; the usual one lets the display programs read them.
    const mode_t savedMask = umask(022);
    const int result = sitebln("KWK", 126.966110f, 37.441944f);
    umask(savedMask);
    ASSERT_EQ(result, 0);
    fs::path bln = root.path() / "www/yek/cgi-src/rdr/bln";
    EXPECT_EQ(root.filesIn(bln), 4) << "no temporary files left behind";
    for (int i = 0; i < kBlnMapCount; ++i) {
        std::string path = fnBlnOutputPath("KWK", i);
        EXPECT_EQ(path, (bln / ("RDR_KWK_" + std::to_string(i + 1) + "_20100428.bln")).string());
        bool ok = false;
        auto runs = blntest::readRuns(path, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(runs.size(), 1u) << path;
        expectProjectedRun(runs[0], 126.966110f, 37.441944f, kInsideLine);
        EXPECT_EQ(runs[0].type, i == 1 ? 3 : i + 1);
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read);
    }
    // A rewritten file keeps the mode it was given.
    fs::permissions(fnBlnOutputPath("KWK", 0), fs::perms(0640));
    ASSERT_EQ(sitebln("KWK", 126.966110f, 37.441944f), 0);
    EXPECT_EQ(fs::status(fnBlnOutputPath("KWK", 0)).permissions(), fs::perms(0640));
    EXPECT_EQ(root.filesIn(bln), 4);
}

TEST(BlnOutputs, LinesLeavingTheGridEndOnItsBorder) {
    BlnRoot root;
    root.writeAllMaps();
    // Northward from the site past the top of the grid (500 km), round its north-east corner
    // and back in from the east.
    const float lon = 126.966110f;
    const float lat = 37.441944f;
    root.writeMap(0, blntest::polyline("2", {{lon, lat},
                                             {lon, lat + 2.0},
                                             {lon, lat + 6.0},
                                             {lon + 8.0, lat + 6.0},
                                             {lon + 8.0, lat},
                                             {lon + 2.0, lat}}));
    ASSERT_EQ(sitebln("KWK", lon, lat), 0);
    bool ok = false;
    auto runs = blntest::readRuns(fnBlnOutputPath("KWK", 0), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(runs.size(), 2u);

    // Site, inside point, then the crossing of the top border on the straight grid segment.
    ASSERT_EQ(runs[0].points.size(), 3u);
    EXPECT_EQ(runs[0].type, 2);
    EXPECT_FLOAT_EQ(runs[0].points[0].x, 500.0f);
    EXPECT_FLOAT_EQ(runs[0].points[0].y, 500.0f);
    blntest::BlnPoint in = gridPoint(lon, lat, lon, lat + 2.0);
    blntest::BlnPoint out = gridPoint(lon, lat, lon, lat + 6.0);
    EXPECT_FLOAT_EQ(runs[0].points[1].y, in.y);
    EXPECT_EQ(runs[0].points[2].y, 1000.0f);
    EXPECT_NEAR(runs[0].points[2].x, in.x + (1000.0f - in.y) * (out.x - in.x) / (out.y - in.y),
                1e-3);

    // Re-entry through the east border, then the last point.
    blntest::BlnPoint east = gridPoint(lon, lat, lon + 8.0, lat);
    blntest::BlnPoint last = gridPoint(lon, lat, lon + 2.0, lat);
    ASSERT_EQ(runs[1].points.size(), 2u);
    EXPECT_EQ(runs[1].points[0].x, 1000.0f);
    EXPECT_NEAR(runs[1].points[0].y,
                east.y + (1000.0f - east.x) * (last.y - east.y) / (last.x - east.x), 1e-3);
    EXPECT_FLOAT_EQ(runs[1].points[1].x, last.x);
    EXPECT_FLOAT_EQ(runs[1].points[1].y, last.y);
}

TEST(BlnOutputs, MissingMapLeavesThePreviousOutputInPlace) {
    BlnRoot root;
    root.writeAllMaps();
    ASSERT_EQ(sitebln("PSN", 129.002228f, 35.115002f), 0);
    std::string before = blntest::slurp(fnBlnOutputPath("PSN", 2));
    ASSERT_FALSE(before.empty());

    fs::remove(root.path().string() + fnBlnMapPath(2));
    root.writeMap(0, "");  // an empty map is a valid map with no lines
    EXPECT_EQ(sitebln("PSN", 129.002228f, 35.115002f), 0);
    EXPECT_EQ(blntest::slurp(fnBlnOutputPath("PSN", 2)), before);
    EXPECT_TRUE(blntest::slurp(fnBlnOutputPath("PSN", 0)).empty());
    EXPECT_EQ(root.filesIn(root.path() / "www/yek/cgi-src/rdr/bln"), 4);
}

TEST(BlnOutputs, OutputThatCannotBeCreatedIsAFailure) {
    BlnRoot root;
    root.writeAllMaps();
    fs::remove_all(root.path() / "www");
    EXPECT_EQ(sitebln("KWK", 126.966110f, 37.441944f), 0) << "a missing output folder is made";
    EXPECT_EQ(root.filesIn(root.path() / "www/yek/cgi-src/rdr/bln"), 4);

    fs::remove_all(root.path() / "www");
    blntest::writeText((root.path() / "www").string(), "a file where the folder belongs");
    EXPECT_EQ(sitebln("KWK", 126.966110f, 37.441944f), -1);
}

// Runs the tool with RDR_ROOT set as now; returns its exit status and standard output.
int runTool(const std::string& args, std::string* output) {
    std::string command = std::string(SITEBLN_BIN) + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    output->clear();
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        output->append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BlnCommandLine, MessagesAndExitStatus) {
    BlnRoot root;
    root.writeAllMaps();
    std::string out;
    EXPECT_EQ(runTool("", &out), 0);
    EXPECT_EQ(out, "[using] sitebln <지점코드>\n");

    EXPECT_EQ(runTool("KWKX", &out), 0);
    EXPECT_EQ(out, "KWKX 에 해당되는 지점정보(위경도)가 없습니다.\n");
    EXPECT_EQ(root.filesIn(root.path() / "www/yek/cgi-src/rdr/bln"), 0);

    EXPECT_EQ(runTool("RKSG", &out), 0);
    std::string expected = " RKSG : 127.285561 , 37.207569\n";
    for (int i = 0; i < kBlnMapCount; ++i) {
        expected += root.path().string() + fnBlnMapPath(i) + "\n";
    }
    EXPECT_EQ(out, expected);
    for (int i = 0; i < kBlnMapCount; ++i) {
        bool ok = false;
        auto runs = blntest::readRuns(fnBlnOutputPath("RKSG", i), &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(runs.size(), 1u);
        expectProjectedRun(runs[0], 127.285561f, 37.207569f, kInsideLine);
    }

    fs::remove_all(root.path() / "www");
    blntest::writeText((root.path() / "www").string(), "a file where the folder belongs");
    EXPECT_EQ(runTool("RKSG", &out), 1) << "outputs that cannot be created fail the run";

    EXPECT_EQ(runTool("--help", &out), 0);
    EXPECT_NE(out.find("usage: sitebln CODE"), std::string::npos);
    EXPECT_EQ(runTool("--bogus", &out), 2) << "an option is never taken as a site code";
    EXPECT_EQ(runTool("KWK extra", &out), 2);
}

}  // namespace
