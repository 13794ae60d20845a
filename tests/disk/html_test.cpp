// The disk page: input-derived text and links made safe, each track side's cell with
// its status, and links only to files that exist.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/cli.h"
#include "disk/html.h"
#include "disk/html_text.h"
#include "support/capture.h"
#include "support/disk_builder.h"
#include "support/run_helper.h"

namespace quen::testing {
namespace {

namespace fs = std::filesystem;

#define REPLACEMENT "\xEF\xBF\xBD"

TEST(HtmlText, EscapesMarkupAndBytesThatAreNotText) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"a&b \"c\"", "a&amp;b &quot;c&quot;"},
        {"tab\tand\nline", "tab\tand\nline"},
        {"bell\x07 nul" + std::string(1, '\0') + " del\x7F", "bell" REPLACEMENT " nul" REPLACEMENT " del" REPLACEMENT},
        {"caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x92\xBE", "caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x92\xBE"},
        {"cut \xC3", "cut " REPLACEMENT},
        {"overlong \xC0\xAF<", "overlong " REPLACEMENT REPLACEMENT "&lt;"},
        {"surrogate \xED\xA0\x80", "surrogate " REPLACEMENT REPLACEMENT REPLACEMENT},
        {"beyond \xF4\x90\x80\x80", "beyond " REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT},
        // The narrowest bounds of the three- and four-byte forms: overlong just below, the first and last allowed.
        {"\xE0\x9F\xBF \xE0\xA0\x80", REPLACEMENT REPLACEMENT REPLACEMENT " \xE0\xA0\x80"},
        {"\xF0\x8F\xBF\xBF \xF4\x8F\xBF\xBF", REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT " \xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) EXPECT_EQ(html::escape(c.in), c.out) << c.in;
}

TEST(HtmlText, LinksArePercentEncodedAndRelative) {
    EXPECT_EQ(html::url_path("../d <script> #1 ?a=%41&b'/out/track00.0.txt"),
              "../d%20%3Cscript%3E%20%231%20%3Fa%3D%2541%26b%27/out/track00.0.txt");
    EXPECT_EQ(html::url_path("caf\xC3\xA9:x/a~b_c-d.svg"), "caf%C3%A9%3Ax/a~b_c-d.svg");

    const std::string base = make_temp_dir();
    const struct {
        std::string page_dir;
        std::string target;
        std::string link;
    } cases[] = {
        {base + "/page", base + "/out/track00.0.txt", "../out/track00.0.txt"},
        {base + "/out/.", base + "/out/track00.0/layout.svg", "track00.0/layout.svg"},
        {base + "/a/b/../c", base + "/#x/t.txt", "../../%23x/t.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(html::relative_link(c.page_dir, c.target), c.link) << c.target;
    fs::remove_all(base);
}

TEST(HtmlPage, CellOfEachTrackSideWithItsStatus) {
    const std::string dir = make_temp_dir();
    const std::vector<synth::DiskEntry> entries = synth::write_sample_disk(dir);
    const std::string out = make_temp_dir() + "/out";
    Capture table;
    Capture err;
    disk::DiskIo io{table.get(), err.get(), false, 2};
    ASSERT_EQ(disk::run_quendisk({"-b", "--html", out + "/index.html", "--timing", out + "/t", dir, out}, io), 1)
        << err.text();
    const std::string page = read_file(out + "/index.html");

    int cells = 0;
    for (const synth::DiskEntry& e : entries) {
        if (*e.status == '\0') continue;
        const std::string label = e.file.substr(5, 4);  // trackNN.S.raw
        EXPECT_NE(page.find("<td class=\"st-" + std::string(e.status) + "\" data-track=\"" + label + "\""),
                  std::string::npos)
            << e.file;
        const bool report = std::string(e.status) != "failed";
        EXPECT_EQ(page.find("<a href=\"track" + label + ".txt\">report</a>") != std::string::npos, report) << e.file;
        // Each analysed track side has its timing, in the page and as files.
        EXPECT_EQ(page.find("<a href=\"#timing-" + label + "\">timing</a>") != std::string::npos, report) << e.file;
        EXPECT_EQ(page.find("<div id=\"timing-" + label + "\">") != std::string::npos, report) << e.file;
        for (const char* picture : {".scatter.svg", ".histogram.svg"}) {
            EXPECT_EQ(fs::is_regular_file(out + "/t/track" + label + picture), report) << e.file << picture;
        }
        ++cells;
    }
    // Tracks 0 to 5 on two sides: every place without a file has its empty cell.
    size_t empty = 0;
    for (size_t at = 0; (at = page.find("<td class=\"st-none\"", at)) != std::string::npos; ++at) ++empty;
    EXPECT_EQ(empty, 12u - cells);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    fs::remove_all(dir);
}

// Pictures are shown and linked only where their files are; a hostile folder name stays text.
TEST(HtmlPage, LinksOnlyPicturesThatExist) {
    const std::string dir = make_temp_dir();
    synth::write_sample_disk(dir);
    const std::string out = make_temp_dir();
    disk::DiskOptions opts;
    opts.outdir = out;
    disk::DiskSummary summary = disk::analyse_disk(opts, disk::list_input(dir).disks.front());
    fs::create_directories(out + "/track01.0");
    for (const char* name : {"layout.svg", "sec_layout_3.svg", "sec_data_3.png", "sec_layout_x.svg"}) {
        std::ofstream(out + "/track01.0/" + name) << "<svg/>";
    }
    summary.dir = "<script>alert(1)</script>";
    // Longer than any fixed buffer a formatter might use.
    const std::string long_value(300, 'k');
    summary.tracks[0].stream_info = "name=<script>x</script>, v=" + long_value + "\"";
    const std::string page = disk::disk_page({summary}, {out + "/index.html", {"-b"}, true});
    EXPECT_EQ(disk::disk_page({summary}, {out + "/index.html", {"-b"}, false}).find("layout.svg"), std::string::npos);

    EXPECT_NE(page.find("<img src=\"track01.0/layout.svg\""), std::string::npos);
    EXPECT_NE(page.find("<td><a href=\"track01.0/sec_layout_3.svg\">svg</a></td>"
                        "<td><a href=\"track01.0/sec_data_3.png\">png</a></td><td></td>"),
              std::string::npos);
    EXPECT_EQ(page.find("sec_layout_x"), std::string::npos);
    EXPECT_EQ(page.find("id=\"pictures-00.0\""), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("title=\"stream: name=&lt;script&gt;x&lt;/script&gt;, v=" + long_value + "&quot;\">00</td>"),
              std::string::npos);
    fs::remove_all(dir);
    fs::remove_all(out);
}

}  // namespace
}  // namespace quen::testing
