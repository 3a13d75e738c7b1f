// The skin generator run as the build runs it: a manifest whose legends fit draws its images;
// one that cannot be set in its face stops the build with the manifest line and the legend.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string output;
};

Outcome skingen(const std::string& manifestText) {
    const fs::path dir = fs::temp_directory_path() / ("skingen-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "skin.txt") << manifestText;
    const std::string command = std::string(QRX_BUILD_DIR) + "/bin/skingen " +
                                (dir / "skin.txt").string() + " " + (dir / "out").string() +
                                " test_skin 2>&1";
    Outcome run{-1, ""};
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, p)) run.output += buffer;
        run.status = pclose(p);
    }
    fs::remove_all(dir);
    return run;
}

TEST(Skingen, LegendsThatFitAreDrawnAndOnesThatCannotStopTheBuildNamingThem) {
    const Outcome fits =
        skingen("skin t\nbutton 19013 20 32 \"LB\"\nbutton 19016 30 52 \"AUTO|ATT\"\n");
    EXPECT_EQ(fits.status, 0) << fits.output;

    const Outcome tooWide =
        skingen("skin t\nbutton 19013 20 32 \"LB\"\nbutton 19038 29 50 \"SMOOTH\"\n");
    EXPECT_NE(tooWide.status, 0);
    EXPECT_NE(tooWide.output.find("manifest line 3"), std::string::npos) << tooWide.output;
    EXPECT_NE(tooWide.output.find("\"SMOOTH\""), std::string::npos) << tooWide.output;

    const Outcome tooTall = skingen("skin t\nbutton 19016 30 52 \"A|B|C\"\n");
    EXPECT_NE(tooTall.status, 0);
    EXPECT_NE(tooTall.output.find("\"A|B|C\""), std::string::npos) << tooTall.output;

    const Outcome latency =
        skingen("skin t\npanel 19000 450 378 light\nfits 19000 167 346 212 356 9 \"1660smps\"\n");
    EXPECT_NE(latency.status, 0);
    EXPECT_NE(latency.output.find("\"1660smps\""), std::string::npos) << latency.output;
    EXPECT_EQ(skingen("skin t\npanel 19000 450 378 light\n"
                      "fits 19000 167 346 212 356 8 \"1660smps\"\n")
                  .status,
              0);
}

}  // namespace
