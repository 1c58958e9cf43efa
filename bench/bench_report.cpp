#include "bench/bench_report.h"

#include "bench/video_frame.h"

namespace {

nlohmann::json CaseObject(const BenchCase& benchCase)
{
    nlohmann::json object = nlohmann::json::object();
    object["width"] = benchCase.width;
    object["height"] = benchCase.height;
    object["bench-pass"] = benchCase.passed;
    object["bench-time"] = benchCase.elapsedUs;
    object["bench-frame"] = benchCase.frameCount;
    return object;
}

nlohmann::json CaseGroup(std::span<const BenchCase> cases, uint8_t codec)
{
    nlohmann::json group = nlohmann::json::array();
    for (const BenchCase& benchCase : cases) {
        if (benchCase.codec == codec)
            group.push_back(CaseObject(benchCase));
    }
    return group;
}

}  // namespace

nlohmann::json BuildBenchReport(std::span<const BenchCase> cases)
{
    nlohmann::json h265 = nlohmann::json::array({"h265", CaseGroup(cases, kCodecH265)});
    nlohmann::json bench = nlohmann::json::array({"h264", CaseGroup(cases, kCodecH264), std::move(h265)});
    nlohmann::json report = nlohmann::json::object();
    report["bench"] = std::move(bench);
    return report;
}
