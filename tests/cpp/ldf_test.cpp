// The LDF layer from C++: slot times, the schedule's promises over many
// random sets of frames, and make_ldf on a small cluster.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ldf/cluster.hpp"
#include "ldf/schedule.hpp"
#include "parser/ncf_parser.hpp"

namespace tolvane {
namespace {

TEST(SlotTime, IsTheNominalMaximumRoundedUpToTheTimeBase) {
    struct Case {
        std::int32_t length;
        double rate;
        double time_base;
        double slot;
    };
    for (const Case c : {Case{1, 19.2, 5.0, 5.0}, Case{8, 19.2, 5.0, 10.0}, Case{1, 19.2, 1.0, 4.0},
                         Case{8, 9.6, 5.0, 20.0}, Case{2, 20.0, 2.5, 5.0}, Case{8, 19.2, 10.0, 10.0}}) {
        // 1.4 x (34 + 10 x (length + 1)) bits at rate kbps, in ms.
        EXPECT_DOUBLE_EQ(detail::slot_time(c.length, c.rate, c.time_base), c.slot)
            << c.length << " bytes at " << c.rate << " kbps";
    }
}

// The starts of each frame's slots in one cycle, and the cycle's length.
std::pair<std::map<std::string, std::vector<double>>, double> starts_of(const detail::Schedule& schedule) {
    std::map<std::string, std::vector<double>> starts;
    double time = 0.0;
    for (const detail::LdfScheduleSlot& slot : schedule.slots) {
        starts[slot.frame].push_back(time);
        time += slot.delay_ms;
    }
    return {starts, time};
}

TEST(Schedule, MeetsEveryPeriodOrSaysWhyNot) {
    std::mt19937 random(7);
    int built = 0;
    for (int round = 0; round < 2000; ++round) {
        const double time_base = std::vector<double>{1.0, 2.5, 5.0, 10.0}[random() % 4];
        std::vector<detail::ScheduledFrame> frames;
        const int count = 1 + static_cast<int>(random() % 10);
        for (int f = 0; f < count; ++f) {
            // Appended: GCC 12 at -O3 takes "f" + std::string for an overlapping copy.
            std::string name = "f";
            name += std::to_string(f);
            detail::ScheduledFrame frame{name, 1 + static_cast<std::int32_t>(random() % 8), std::nullopt,
                                         std::nullopt};
            if (random() % 3 == 0) {
                frame.max_period = 10 + static_cast<std::int32_t>(random() % 300);
            }
            if (random() % 5 == 0) {
                frame.min_period = 5 + static_cast<std::int32_t>(random() % 200);
            }
            frames.push_back(frame);
        }
        const detail::Schedule schedule = detail::build_schedule(frames, 19.2, time_base);
        if (!schedule.problems.empty()) {
            EXPECT_TRUE(schedule.slots.empty());
            continue;
        }
        ++built;
        const auto [starts, cycle] = starts_of(schedule);
        for (const detail::ScheduledFrame& frame : frames) {
            const std::vector<double>& mine = starts.at(frame.name);
            double longest = 0.0;
            double shortest = cycle;
            for (std::size_t i = 0; i < mine.size(); ++i) {
                const double next = i + 1 < mine.size() ? mine[i + 1] : mine.front() + cycle;
                longest = std::max(longest, next - mine[i]);
                shortest = std::min(shortest, next - mine[i]);
            }
            if (frame.max_period) {
                EXPECT_LE(longest, *frame.max_period + 1e-9) << frame.name;
            } else {
                EXPECT_EQ(mine.size(), 1U) << frame.name;
            }
            if (frame.min_period) {
                EXPECT_GE(shortest, *frame.min_period - 1e-9) << frame.name;
            }
        }
        for (const detail::LdfScheduleSlot& slot : schedule.slots) {
            EXPECT_NEAR(std::remainder(slot.delay_ms, time_base), 0.0, 1e-9);
        }
    }
    EXPECT_GT(built, 1000);  // the property was not met by refusing
}

TEST(Schedule, MaxPeriodsAskingForMoreThanTheBusAreRefused) {
    const std::vector<detail::ScheduledFrame> frames{{"a", 8, std::nullopt, 10}, {"b", 8, std::nullopt, 15}};
    const detail::Schedule schedule = detail::build_schedule(frames, 19.2, 5.0);
    ASSERT_EQ(schedule.problems.size(), 1U);
    EXPECT_EQ(schedule.problems[0].frame, 0U);
    EXPECT_EQ(
        schedule.problems[0].message,
        "No schedule table can meet the max_periods, which ask for more than the bus can carry: 'a' 10 ms "
        "every 10 ms, 'b' 10 ms every 15 ms");
}

ClusterFile parsed(const std::string& name, const std::string& text) {
    NcfParser parser = NcfParser::from_text(name, text);
    NcfFile file = parser.parse();
    return {std::move(file), parser.get_diagnostics()};
}

std::string node(const std::string& name, const std::string& nad, const std::string& frames) {
    return "node_capability_file;\nLIN_language_version = \"2.1\";\nnode " + name +
           " {\n  general { LIN_protocol_version = \"2.1\"; supplier = 1; function = 2; variant = 0; bitrate "
           "= 19.2 "
           "kbps; }\n  diagnostic { NAD = " +
           nad + "; diagnostic_class = 2; support_sid { 0xB2, 0xB7 }; }\n  frames { " + frames +
           " }\n  status_management { response_error = " + name + "_err; }\n}\n";
}

TEST(MakeLdf, WritesTheClusterAndReportsAConflictAtItsPlace) {
    const std::string a_frame =
        "publish a_f { length = 1; signals { a_err { size = 1; init_value = 0; offset = 0; } } }";
    std::vector<ClusterFile> files{
        parsed("a.ncf", node("a", "0x10", a_frame)),
        parsed("b.ncf", node("b", "0x11",
                             "publish b_f { length = 1; signals { b_err { size = 1; "
                             "init_value = 0; offset = 0; } } } "))};
    ClusterSettings settings;
    settings.master = "Gateway";
    const LdfResult written = make_ldf(files, settings);
    ASSERT_TRUE(written.text.has_value());
    EXPECT_TRUE(written.diagnostics.empty());
    EXPECT_EQ(written.text->substr(0, 21), "LIN_description_file;");
    EXPECT_NE(written.text->find("  a_f: 0x00, a, 1 {\n    a_err, 0;\n  }\n"), std::string::npos);

    files[1] = parsed("b.ncf", node("b", "0x11",
                                    a_frame + " publish b_f { length = 1; signals { b_err { size = 1; "
                                              "init_value = 0; offset = 0; } } }"));
    const LdfResult refused = make_ldf(files, settings);
    EXPECT_FALSE(refused.text.has_value());
    ASSERT_EQ(refused.diagnostics.size(), 1U);
    const Diagnostic& conflict = refused.diagnostics[0];
    EXPECT_EQ((std::tuple(conflict.file, conflict.line, conflict.code)),
              std::tuple("b.ncf", 6U, "cluster-publisher"));
    EXPECT_EQ(conflict.message, "Frame 'a_f' is published by node 'b' and by node 'a' (a.ncf:6:20)");
}

}  // namespace
}  // namespace tolvane
