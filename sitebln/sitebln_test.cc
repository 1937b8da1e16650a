// Site table, the four output files and the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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
            writeMap(i, blntest::polyline(std::to_string(i + 1),
                                          {{126.5, 37.0}, {127.0, 37.5}, {127.5, 37.7}}));
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
    ASSERT_EQ(sitebln("KWK", 126.966110f, 37.441944f), 0);
    fs::path bln = root.path() / "www/yek/cgi-src/rdr/bln";
    EXPECT_EQ(root.filesIn(bln), 4) << "no temporary files left behind";
    for (int i = 0; i < kBlnMapCount; ++i) {
        std::string path = fnBlnOutputPath("KWK", i);
        EXPECT_EQ(path, (bln / ("RDR_KWK_" + std::to_string(i + 1) + "_20100428.bln")).string());
        bool ok = false;
        auto runs = blntest::readRuns(path, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(runs.size(), 1u) << path;
        EXPECT_EQ(runs[0].points.size(), 3u);
        EXPECT_EQ(runs[0].type, i == 1 ? 3 : i + 1);
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read);
    }
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
    EXPECT_TRUE(fs::exists(fnBlnOutputPath("RKSG", 3)));

    fs::remove_all(root.path() / "www");
    EXPECT_EQ(runTool("RKSG", &out), 1) << "outputs that cannot be created fail the run";
}

}  // namespace
