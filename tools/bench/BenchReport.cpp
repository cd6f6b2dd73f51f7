#include "tools/bench/BenchReport.h"

#include <windows.h>
#include <cstdio>

namespace {

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string JsonNumber(double value) {
    char text[64];
    snprintf(text, sizeof(text), "%.3f", value);
    return text;
}

std::string JsonSummary(const Samples& samples) {
    std::string json = "{\"median\": " + JsonNumber(samples.Median()) +
                       ", \"q1\": " + JsonNumber(samples.Quantile(0.25)) +
                       ", \"q3\": " + JsonNumber(samples.Quantile(0.75)) +
                       ", \"min\": " + JsonNumber(samples.Min()) +
                       ", \"max\": " + JsonNumber(samples.Max()) +
                       ", \"count\": " + std::to_string(samples.Count()) + ", \"values\": [";
    for (size_t i = 0; i < samples.Values().size(); i++)
        json += (i ? ", " : "") + JsonNumber(samples.Values()[i]);
    return json + "]}";
}

// Microseconds as the table shows them: µs below 10 ms, ms above.
std::string Duration(double us) {
    char text[32];
    if (us < 10000)
        snprintf(text, sizeof(text), "%.0f us", us);
    else
        snprintf(text, sizeof(text), "%.1f ms", us / 1000);
    return text;
}

} // namespace

Samples Figure::Ratios() const {
    Samples ratios;
    for (int i = 0; i < moduleUs.Count() && i < baselineUs.Count(); i++) {
        if (baselineUs.Values()[i] > 0) ratios.Add(moduleUs.Values()[i] / baselineUs.Values()[i]);
    }
    return ratios;
}

Samples& Figure::Phase(const std::string& phaseName) {
    for (auto& [name, samples] : phases) {
        if (name == phaseName) return samples;
    }
    phases.emplace_back(phaseName, Samples());
    return phases.back().second;
}

Figure& BenchReport::Add(const std::string& name, const std::string& module,
                         const std::string& baseline) {
    figures.push_back(Figure());
    Figure& figure = figures.back();
    figure.name = name;
    figure.module = module;
    figure.baseline = baseline;
    return figure;
}

void PrintReport(const BenchReport& report) {
    printf("\n%-44s %10s %10s %8s %17s %5s\n", "figure", "module", "baseline", "ratio",
           "ratio min..max", "reps");
    printf("%s\n", std::string(99, '-').c_str());
    for (const Figure& figure : report.figures) {
        Samples ratios = figure.Ratios();
        char spread[40];
        snprintf(spread, sizeof(spread), "%.2f..%.2f", ratios.Min(), ratios.Max());
        printf("%-44s %10s %10s %8.2f %17s %5d\n", figure.name.c_str(),
               Duration(figure.moduleUs.Median()).c_str(),
               Duration(figure.baselineUs.Median()).c_str(), ratios.Median(), spread,
               figure.moduleUs.Count());
    }
    printf("\nmodule and baseline columns are medians; ratio = module / baseline per repetition\n");

    printf("\nphases (medians):\n");
    for (const Figure& figure : report.figures) {
        if (figure.phases.empty() && figure.note.empty()) continue;
        printf("  %s\n", figure.name.c_str());
        for (const auto& [name, samples] : figure.phases)
            printf("    %-52s %10s\n", name.c_str(), Duration(samples.Median()).c_str());
        if (!figure.note.empty()) printf("    note: %s\n", figure.note.c_str());
    }

    if (!report.facts.empty()) {
        printf("\nfacts:\n");
        for (const Fact& fact : report.facts)
            printf("  %-52s %12.0f %s\n", fact.name.c_str(), fact.value, fact.unit.c_str());
    }
    for (const std::string& problem : report.problems)
        printf("PROBLEM: %s\n", problem.c_str());
    fflush(stdout);
}

bool WriteReportJson(const BenchReport& report, const std::wstring& path) {
    std::string json = "{\n  \"quick\": " + std::string(report.quick ? "true" : "false") +
                       ",\n  \"unit\": \"microseconds\",\n  \"figures\": [";
    for (size_t i = 0; i < report.figures.size(); i++) {
        const Figure& figure = report.figures[i];
        json += std::string(i ? "," : "") + "\n    {\"name\": " + JsonString(figure.name) +
                ",\n     \"module\": " + JsonString(figure.module) +
                ",\n     \"baseline\": " + JsonString(figure.baseline) +
                ",\n     \"module_us\": " + JsonSummary(figure.moduleUs) +
                ",\n     \"baseline_us\": " + JsonSummary(figure.baselineUs) +
                ",\n     \"ratio\": " + JsonSummary(figure.Ratios()) + ",\n     \"phases_us\": {";
        for (size_t p = 0; p < figure.phases.size(); p++)
            json += std::string(p ? ", " : "") + "\n       " + JsonString(figure.phases[p].first) +
                    ": " + JsonSummary(figure.phases[p].second);
        json += "},\n     \"note\": " + JsonString(figure.note) + "}";
    }
    json += "\n  ],\n  \"facts\": {";
    for (size_t i = 0; i < report.facts.size(); i++)
        json += std::string(i ? "," : "") + "\n    " + JsonString(report.facts[i].name) +
                ": {\"value\": " + JsonNumber(report.facts[i].value) +
                ", \"unit\": " + JsonString(report.facts[i].unit) + "}";
    json += "\n  },\n  \"problems\": [";
    for (size_t i = 0; i < report.problems.size(); i++)
        json += std::string(i ? ", " : "") + JsonString(report.problems[i]);
    json += "]\n}\n";

    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool written = fwrite(json.data(), 1, json.size(), file) == json.size();
    return fclose(file) == 0 && written;
}
