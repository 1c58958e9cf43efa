#include "bench/bench_report.h"

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

nlohmann::json CaseGroup(std::span<const BenchCase> cases)
{
    nlohmann::json group = nlohmann::json::array();
    for (const BenchCase& benchCase : cases)
        group.push_back(CaseObject(benchCase));
    return group;
}

}  // namespace

nlohmann::json BuildBenchReport(std::span<const BenchCase, kBenchCaseCount> cases)
{
    nlohmann::json h265 = nlohmann::json::array({"h265", CaseGroup(cases.subspan<4, 4>())});
    nlohmann::json bench = nlohmann::json::array({"h264", CaseGroup(cases.subspan<0, 4>()), std::move(h265)});
    nlohmann::json report = nlohmann::json::object();
    report["bench"] = std::move(bench);
    return report;
}
