#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "protect/prot.h"

namespace quen {
namespace {

// What print writes, and what it returns.
struct Printout {
    std::string text;
    int result;
};

Printout print_list(const Prot_list& list) {
    char* data = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&data, &size);
    if (out == nullptr) ADD_FAILURE() << "open_memstream failed";
    if (out == nullptr) return {"", -1};
    Printout p;
    p.result = list.print(out);
    std::fclose(out);
    p.text.assign(data, size);
    std::free(data);
    return p;
}

const std::string kNoneFound = "\n*** Found 0 protections ***\n";

struct CatalogueRow {
    ProtType type;
    const char* abbrev;
    const char* name;
    int32_t level;
};

// The names are printed as they stand; a slip in one of them is a wrong report.
const CatalogueRow kCatalogue[] = {
    {ProtType::DBI, "DBI", "Data Beyond Index", 1},
    {ProtType::DOI, "DOI", "Data Over Index", 1},
    {ProtType::DSN, "DSN", "Duplicate Sector Number", 1},
    {ProtType::EXT, "EXT", "Extra Track", 2},
    {ProtType::FAA, "FAA", "Flux reversals in Ambiguous Area", 3},
    {ProtType::FZD, "FZD", "Fuzzy Data Block", 1},
    {ProtType::IBV, "IBV", "Intra-sector bit-rate Variation", 1},
    {ProtType::IDG, "IDG", "Invalid Data into Gap", 2},
    {ProtType::IIF, "IIF", "Invalid ID Field", 2},
    {ProtType::ISN, "ISN", "Invalid Sector Number", 1},
    {ProtType::ISS, "ISS", "Invalid Synch Sequence", 3},
    {ProtType::ITN, "ITN", "Invalid Track Number", 2},
    {ProtType::LGS, "LGS", "Long Sector", 1},
    {ProtType::LGT, "LGT", "Long Track", 1},
    {ProtType::MTV, "MTV", "MFM Timing Violation", 3},
    {ProtType::NFA, "NFA", "No Flux reversal Area", 1},
    {ProtType::NOS, "NOS", "Number of Sectors", 3},
    {ProtType::NSD, "NSD", "Non-Standard DAM", 2},
    {ProtType::NSI, "NSI", "Non-Standard IDAM", 2},
    {ProtType::SBD, "SBD", "Sector with Bad Data", 1},
    {ProtType::SBI, "SBI", "Sector with Bad ID", 1},
    {ProtType::SND, "SND", "Sector with No Data", 1},
    {ProtType::SHS, "SHS", "Short Sector", 1},
    {ProtType::SHT, "SHT", "Short Track", 1},
    {ProtType::SID, "SID", "Synch mark in ID/DATA", 3},
    {ProtType::SSZ, "SSZ", "Sector Size", 2},
    {ProtType::SWS, "SWS", "Sector Within Sector", 1},
    {ProtType::TNF, "TNF", "Track Not Found", 2},
};

TEST(ProtCatalogue, EveryKindHasItsCodeNameAndLevel) {
    ASSERT_EQ(std::size(kCatalogue), static_cast<size_t>(kProtTypeCount));
    for (size_t code = 0; code < std::size(kCatalogue); ++code) {
        const CatalogueRow& row = kCatalogue[code];
        SCOPED_TRACE(row.abbrev);
        EXPECT_EQ(static_cast<int32_t>(row.type), static_cast<int32_t>(code));
        const ProtInfo& info = prot_info(static_cast<int32_t>(row.type));
        EXPECT_STREQ(info.abbrev, row.abbrev);
        EXPECT_STREQ(info.name, row.name);
        EXPECT_EQ(info.level, row.level);
    }
}

TEST(ProtCatalogue, CodesOutsideTheCatalogueAreUnknown) {
    for (int32_t code : {-1, 28, 29, 255, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(code);
        const ProtInfo& info = prot_info(code);
        EXPECT_STREQ(info.abbrev, "UNK");
        EXPECT_STREQ(info.name, "Internal Error = unknown type");
        EXPECT_EQ(info.level, 1);
    }
}

TEST(ProtList, AddFillsTheEntryWithNoLocation) {
    Prot_list list;
    const ProtEntry* e = list.add(7, ProtType::FZD, 42);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(list.head, e);
    EXPECT_EQ(e->next, nullptr);
    EXPECT_EQ(e->D, -1);
    EXPECT_EQ(e->T, -1);
    EXPECT_EQ(e->H, -1);
    EXPECT_EQ(e->S, 7);
    EXPECT_EQ(e->type, static_cast<int32_t>(ProtType::FZD));
    EXPECT_EQ(e->value, 42);
}

TEST(ProtList, EmptyListPrintsOnlyTheHeaderWithZero) {
    Prot_list list;
    const Printout p = print_list(list);
    EXPECT_EQ(p.text, kNoneFound);
    EXPECT_EQ(p.result, 0);
}

struct LineRow {
    const char* what;
    int32_t S;
    int32_t type;
    int32_t value;
    const char* line;
};

const LineRow kLines[] = {
    {"whole track with value", -1, int32_t(ProtType::LGT), 6500, " LGT Long Track (6500)\n"},
    {"sector without value", 3, int32_t(ProtType::SBD), -1, " S003 SBD Sector with Bad Data\n"},
    {"one-digit sector", 5, int32_t(ProtType::SND), -1, " S005 SND Sector with No Data\n"},
    {"three-digit sector", 247, int32_t(ProtType::ISN), -1, " S247 ISN Invalid Sector Number\n"},
    {"sector zero", 0, int32_t(ProtType::SID), 2, " S000 SID Synch mark in ID/DATA (2)\n"},
    {"four-digit sector widens", 1000, int32_t(ProtType::DSN), -1, " S1000 DSN Duplicate Sector Number\n"},
    {"zero value is printed", 9, int32_t(ProtType::SSZ), 0, " S009 SSZ Sector Size (0)\n"},
    {"negative value other than -1", 2, int32_t(ProtType::MTV), -2, " S002 MTV MFM Timing Violation (-2)\n"},
    {"whole track without value", -1, int32_t(ProtType::TNF), -1, " TNF Track Not Found\n"},
    {"unknown kind", 1, 28, 7, " S001 UNK Internal Error = unknown type (7)\n"},
    {"negative kind", -1, -5, -1, " UNK Internal Error = unknown type\n"},
};

TEST(ProtList, PrintsOneLinePerFinding) {
    for (const LineRow& row : kLines) {
        SCOPED_TRACE(row.what);
        Prot_list list;
        list.add(row.S, row.type, row.value);
        const Printout p = print_list(list);
        EXPECT_EQ(p.text, std::string("\n*** Found 1 protections ***\n") + row.line);
        EXPECT_EQ(p.result, 1);
    }
}

TEST(ProtList, LocationPrecedesTheSectorWhenSet) {
    Prot_list list;
    ProtEntry* e = list.add(3, ProtType::SBD, -1);
    e->D = 0;
    e->H = 1;
    e->T = 5;
    EXPECT_EQ(print_list(list).text, "\n*** Found 1 protections ***\nD0 H1 T05 S003 SBD Sector with Bad Data\n");
}

struct Added {
    int32_t S;
    ProtType type;
    int32_t value;
};

struct OrderRow {
    const char* what;
    std::vector<Added> added;
    const char* lines;
};

const OrderRow kOrders[] = {
    {"whole-track findings print newest first",
     {{-1, ProtType::SHT, 6000}, {-1, ProtType::NOS, 11}},
     " NOS Number of Sectors (11)\n"
     " SHT Short Track (6000)\n"},
    {"findings of one sector print newest first",
     {{3, ProtType::SBD, -1}, {3, ProtType::SWS, -1}},
     " S003 SWS Sector Within Sector\n"
     " S003 SBD Sector with Bad Data\n"},
    {"sectors ascend whatever the order of adding",
     {{12, ProtType::SND, -1}, {2, ProtType::SND, -1}, {7, ProtType::SND, -1}, {0, ProtType::SND, -1}},
     " S000 SND Sector with No Data\n"
     " S002 SND Sector with No Data\n"
     " S007 SND Sector with No Data\n"
     " S012 SND Sector with No Data\n"},
    {"whole track before every sector, even when added last",
     {{5, ProtType::FZD, 30}, {1, ProtType::SBD, -1}, {-1, ProtType::LGT, 6500}, {5, ProtType::DOI, 3},
      {-1, ProtType::NFA, 1200}, {1, ProtType::ISS, 1}},
     " NFA No Flux reversal Area (1200)\n"
     " LGT Long Track (6500)\n"
     " S001 ISS Invalid Synch Sequence (1)\n"
     " S001 SBD Sector with Bad Data\n"
     " S005 DOI Data Over Index (3)\n"
     " S005 FZD Fuzzy Data Block (30)\n"},
    {"a new finding goes in front of equal keys, behind smaller ones",
     {{4, ProtType::SBD, -1}, {6, ProtType::SBD, -1}, {4, ProtType::SWS, -1}, {6, ProtType::SWS, -1},
      {5, ProtType::SND, -1}},
     " S004 SWS Sector Within Sector\n"
     " S004 SBD Sector with Bad Data\n"
     " S005 SND Sector with No Data\n"
     " S006 SWS Sector Within Sector\n"
     " S006 SBD Sector with Bad Data\n"},
};

TEST(ProtList, KeepsFindingsInKeyOrder) {
    for (const OrderRow& row : kOrders) {
        SCOPED_TRACE(row.what);
        Prot_list list;
        for (const Added& a : row.added) list.add(a.S, a.type, a.value);
        const Printout p = print_list(list);
        char header[64];
        std::snprintf(header, sizeof header, "\n*** Found %zu protections ***\n", row.added.size());
        EXPECT_EQ(p.text, std::string(header) + row.lines);
        EXPECT_EQ(p.result, static_cast<int>(row.added.size()));
    }
}

TEST(ProtList, CountsEveryEntryWhateverItsKind) {
    Prot_list list;
    for (int32_t type = -2; type < kProtTypeCount + 2; ++type) list.add(1, type, -1);
    const Printout p = print_list(list);
    EXPECT_EQ(p.result, kProtTypeCount + 4);
    EXPECT_EQ(p.text.rfind("\n*** Found 32 protections ***\n", 0), 0u);
    // Header plus one line per entry.
    EXPECT_EQ(std::count(p.text.begin(), p.text.end(), '\n'), 2 + kProtTypeCount + 4);
}

TEST(ProtList, ExtremeSectorNumbersStillOrderSensibly) {
    // The key is computed with wrap-around: a sector number near the bottom of the
    // range wraps to the top and so sorts last; nothing may trap on the way.
    Prot_list list;
    list.add(INT32_MIN, ProtType::SBD, -1);
    list.add(1, ProtType::SBD, -1);
    list.add(-1, ProtType::LGT, 1);
    std::vector<int32_t> order;
    for (const ProtEntry* e = list.head; e; e = e->next) order.push_back(e->S);
    EXPECT_EQ(order, (std::vector<int32_t>{-1, 1, INT32_MIN}));
}

}  // namespace
}  // namespace quen
