// The control and preset tables as each reader sees them: the Turtle the
// build wrote from them holds what the C++ tables hold, and so do the
// README's tables (found by their header rows; prose cells not compared).

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "control_table.h"
#include "preset_table.h"

namespace {

std::string read_file(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_TRUE(file) << path;
    return text.str();
}

// The number after `key` and a blank in `text`; NaN when there is none. A
// README's minus sign reads as "-".
float number_after(std::string text, const std::string& key = "")
{
    for (size_t at; (at = text.find("−")) != std::string::npos;)
        text.replace(at, std::string("−").size(), "-");
    const size_t at = key.empty() ? 0 : text.find(key + " ");
    return at == std::string::npos ? NAN
                                   : std::stof(text.substr(key.empty() ? 0 : at + key.size() + 1));
}

// The Turtle from the line holding `line` to the first `end` after it.
std::string turtle_block(const std::string& turtle, const std::string& line, const char* end)
{
    const size_t at = turtle.find(line);
    return at == std::string::npos ? "" : turtle.substr(at, turtle.find(end, at) - at);
}

// The cells of each row of the README table whose header row starts with
// `header`, trimmed and without backticks.
std::vector<std::vector<std::string>> readme_rows(const std::string& readme,
                                                  const std::string& header)
{
    std::vector<std::vector<std::string>> rows;
    const size_t at = readme.find("\n" + header);
    EXPECT_NE(at, std::string::npos) << "no README table starts with " << header;
    std::istringstream lines(at == std::string::npos ? "" : readme.substr(at + 1));
    std::string line, cell;
    std::getline(lines, line);  // the header
    std::getline(lines, line);  // the separator
    while (std::getline(lines, line) && line.rfind('|', 0) == 0) {
        std::istringstream cells(line.substr(1));
        rows.emplace_back();
        while (std::getline(cells, cell, '|')) {
            for (size_t tick; (tick = cell.find('`')) != std::string::npos;)
                cell.erase(tick, 1);
            const size_t first = cell.find_first_not_of(' '), last = cell.find_last_not_of(' ');
            rows.back().push_back(first == std::string::npos ? ""
                                                             : cell.substr(first, last - first + 1));
        }
    }
    return rows;
}

TEST(ControlTable, TheBundleAndTheReadmeDescribeEachControlAsTheTableDoes)
{
    const std::string turtle = read_file(HALVANE_TURTLE_PATH);
    const std::string readme = read_file(HALVANE_README_PATH);
    const char* const lv2_units[] = {"coef", "s", "ms", "m", "hz", "db"};  // ControlUnit order
    const char* const readme_units[] = {"coefficient", "s", "ms", "m", "Hz", "dB"};
    const auto rows = readme_rows(readme, "| symbol | name | unit | range | default |");
    ASSERT_EQ(rows.size(), CONTROL_PORT_COUNT);
    for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port) {
        const ControlInfo& info = CONTROL_INFO[port];
        const ControlRange& range = CONTROL_RANGES[port];
        SCOPED_TRACE(info.symbol);
        // The mono plug-in's block; the stereo one is the same text.
        const std::string block =
            turtle_block(turtle, "lv2:index " + std::to_string(port) + " ;", "]");
        const auto has = [&block](const std::string& line) {
            return block.find(line) != std::string::npos;
        };
        EXPECT_TRUE(has("lv2:symbol \"" + std::string(info.symbol) + "\" ;"));
        EXPECT_TRUE(has("lv2:name \"" + std::string(info.name) + "\" ;"));
        EXPECT_TRUE(has("rdfs:comment \"" + std::string(info.description) + "\" ;"));
        EXPECT_TRUE(has("units:unit units:" + std::string(lv2_units[int(info.unit)]) + " ;"));
        EXPECT_EQ(number_after(block, "lv2:minimum"), range.min);
        EXPECT_EQ(number_after(block, "lv2:maximum"), range.max);
        EXPECT_EQ(number_after(block, "lv2:default"), range.default_value);
        EXPECT_EQ(has("pprops:logarithmic"), info.scale == ControlScale::logarithmic);

        const std::vector<std::string>& row = rows[port];
        ASSERT_GE(row.size(), 5u);
        EXPECT_EQ(row[0], info.symbol);
        EXPECT_EQ(row[1], info.name);
        EXPECT_EQ(row[2], readme_units[int(info.unit)]);
        EXPECT_EQ(number_after(row[3]), range.min) << row[3];
        EXPECT_EQ(number_after(row[3], "–"), range.max) << row[3];
        EXPECT_EQ(number_after(row[4]), range.default_value);
    }
}

TEST(PresetTable, TheBundleAndTheReadmeHoldEachPresetAsTheTableDoes)
{
    const std::string turtle = read_file(HALVANE_PRESETS_PATH);
    std::string header = "| preset |";
    for (const ControlInfo& info : CONTROL_INFO)
        header += " " + std::string(info.symbol) + " |";
    const std::string readme = read_file(HALVANE_README_PATH);
    const auto rows = readme_rows(readme, header);
    ASSERT_EQ(rows.size(), size_t(PRESET_COUNT - 1));  // Default is no bundle preset
    for (int p = 1; p < PRESET_COUNT; ++p) {
        const Preset& preset = PRESETS[p];
        SCOPED_TRACE(preset.name);
        EXPECT_NE(readme.find("`" + std::string(preset.slug) + "`"), std::string::npos);
        ASSERT_EQ(rows[p - 1].size(), CONTROL_PORT_COUNT + 1);
        EXPECT_EQ(rows[p - 1][0], preset.name);
        for (const char* variant : {"mono", "stereo"}) {
            const std::string block =
                turtle_block(turtle,
                             "<https://halvane.example.org/lv2/halvane/presets/" +
                                 std::string(variant) + "/" + preset.slug + ">",
                             "] .");
            EXPECT_NE(block.find("rdfs:label \"" + std::string(preset.name) + "\""),
                      std::string::npos);
            for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port) {
                const std::string symbol = "\"" + std::string(CONTROL_INFO[port].symbol) + "\" ;";
                EXPECT_EQ(number_after(block, symbol + " pset:value"), preset.values[port])
                    << symbol;
            }
        }
        for (uint32_t port = 0; port < CONTROL_PORT_COUNT; ++port)
            EXPECT_EQ(number_after(rows[p - 1][port + 1]), preset.values[port])
                << CONTROL_INFO[port].symbol;
    }
}

}  // namespace
