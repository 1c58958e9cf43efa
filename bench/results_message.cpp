#include "bench/results_message.h"

#include <string>

#include "bench/sample_summary.h"

namespace {

const char* CodecName(const BenchCase& benchCase)
{
    return benchCase.codec == 0 ? "h264" : "h265";
}

nlohmann::json CaseIdentity(const BenchCase& benchCase)
{
    return {{"codec", CodecName(benchCase)}, {"width", benchCase.width}, {"height", benchCase.height}};
}

nlohmann::json CaseResult(const BenchCase& benchCase, const CaseMeasurement& measurement)
{
    nlohmann::json result = CaseIdentity(benchCase);
    result["frames"] = benchCase.frameCount;
    result["pass"] = measurement.passed;
    if (!measurement.passed)
        result["reason"] = measurement.reason;
    result["setupUs"] = measurement.setupUs;
    result["samplesUs"] = measurement.samplesUs;

    std::optional<SampleSummary> passes = Summarize(measurement.samplesUs);
    result["minUs"] = passes ? nlohmann::json(passes->min) : nlohmann::json();
    result["medianUs"] = passes ? nlohmann::json(passes->median) : nlohmann::json();
    result["p95Us"] = passes ? nlohmann::json(passes->p95) : nlohmann::json();
    result["meanUs"] = passes ? nlohmann::json(passes->mean) : nlohmann::json();
    result["cv"] = passes ? nlohmann::json(passes->cv) : nlohmann::json();

    // Latencies of a pass that stopped part-way describe no case.
    std::optional<SampleSummary> latency;
    if (measurement.passed)
        latency = Summarize(measurement.latenciesUs);
    result["latencyUs"] = latency ? nlohmann::json{{"median", latency->median}, {"p95", latency->p95},
                                                   {"max", latency->max}}
                                  : nlohmann::json();

    nlohmann::json realTime = nlohmann::json::object();
    for (uint32_t rate : kRealTimeRates) {
        realTime[std::to_string(rate)] = measurement.passed && passes && latency &&
                                         KeepsUpWith(rate, benchCase.frameCount, passes->median, latency->p95);
    }
    result["realTime"] = std::move(realTime);
    return result;
}

}  // namespace

nlohmann::json BuildResultsMessage(nlohmann::json context, std::span<const BenchCase> cases,
                                   std::span<const CaseMeasurement> measurements)
{
    nlohmann::json list = nlohmann::json::array();
    for (size_t index = 0; index < cases.size() && index < measurements.size(); ++index)
        list.push_back(CaseResult(cases[index], measurements[index]));
    nlohmann::json results = {
        {"schemaVersion", kResultsSchemaVersion}, {"context", std::move(context)}, {"cases", std::move(list)}};
    return {{"results", std::move(results)}};
}

nlohmann::json BuildProgressMessage(const BenchCase& benchCase, size_t finished, size_t count)
{
    nlohmann::json progress = CaseIdentity(benchCase);
    progress["pass"] = benchCase.passed;
    progress["index"] = finished;
    progress["count"] = count;
    return {{"progress", std::move(progress)}};
}
