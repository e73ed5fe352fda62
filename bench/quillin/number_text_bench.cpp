// parseFloatText and parseIntText against the C library conversions they must equal, over a few
// million fields spelled as an OBJ file spells them: per vertex three position coordinates, two
// texture coordinates and three normal components with 24 decimals, and corner numbers.
//
// Each field is followed by a NUL in one large buffer, so strtod and strtol read it in place
// with no copy; parseFloatText and parseIntText get the same field as a range.
#include "quillin/number_text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using quillin::parseFloatText;
using quillin::parseIntText;

namespace {

constexpr size_t kVertexCount = 500000; // 4 million float fields, 1.5 million integer fields

struct Fields {
    std::string text;          // every field followed by a NUL
    std::vector<size_t> begin; // where each field starts
    std::vector<size_t> end;   // where each field ends (its NUL)
};

void addField(Fields& fields, const char* format, double value) {
    char buffer[80];
    const int length = std::snprintf(buffer, sizeof buffer, format, value);
    fields.begin.push_back(fields.text.size());
    fields.text.append(buffer, static_cast<size_t>(length));
    fields.end.push_back(fields.text.size());
    fields.text.push_back('\0');
}

Fields makeFloatFields(const char* format) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<float> position(-100.0f, 100.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> component(-1.0f, 1.0f);
    Fields fields;
    for (size_t i = 0; i < kVertexCount; ++i) {
        for (int k = 0; k < 3; ++k) {
            addField(fields, format, position(random));
        }
        for (int k = 0; k < 2; ++k) {
            addField(fields, format, unit(random));
        }
        for (int k = 0; k < 3; ++k) {
            addField(fields, format, component(random));
        }
    }
    return fields;
}

Fields makeIntegerFields() {
    std::mt19937_64 random(43);
    std::uniform_int_distribution<unsigned> number(1, kVertexCount);
    Fields fields;
    for (size_t i = 0; i < kVertexCount * 3; ++i) {
        addField(fields, "%.0f", number(random));
    }
    return fields;
}

const Fields& fixed24Fields() {
    static const Fields fields = makeFloatFields("%8.24f");
    return fields;
}

const Fields& shortestFields() {
    static const Fields fields = makeFloatFields("%.9g");
    return fields;
}

const Fields& integerFields() {
    static const Fields fields = makeIntegerFields();
    return fields;
}

void reportPerNumber(benchmark::State& state, const Fields& fields) {
    const auto count = static_cast<double>(fields.begin.size());
    state.counters["numbers"] = count;
    state.counters["per_number"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fields.text.size()));
}

template <const Fields& (*makeFields)()>
void parseFloatTextFields(benchmark::State& state) {
    const Fields& fields = makeFields();
    const char* text = fields.text.data();
    for (auto _ : state) {
        float sum = 0;
        for (size_t i = 0; i < fields.begin.size(); ++i) {
            sum += parseFloatText(text + fields.begin[i], text + fields.end[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerNumber(state, fields);
}

template <const Fields& (*makeFields)()>
void strtodThenFloatFields(benchmark::State& state) {
    const Fields& fields = makeFields();
    const char* text = fields.text.data();
    for (auto _ : state) {
        float sum = 0;
        for (size_t i = 0; i < fields.begin.size(); ++i) {
            sum += static_cast<float>(std::strtod(text + fields.begin[i], nullptr));
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerNumber(state, fields);
}

void parseIntTextFields(benchmark::State& state) {
    const Fields& fields = integerFields();
    const char* text = fields.text.data();
    for (auto _ : state) {
        int32_t sum = 0;
        for (size_t i = 0; i < fields.begin.size(); ++i) {
            sum ^= parseIntText(text + fields.begin[i], text + fields.end[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerNumber(state, fields);
}

void strtolFields(benchmark::State& state) {
    const Fields& fields = integerFields();
    const char* text = fields.text.data();
    for (auto _ : state) {
        int32_t sum = 0;
        for (size_t i = 0; i < fields.begin.size(); ++i) {
            sum ^= static_cast<int32_t>(std::strtol(text + fields.begin[i], nullptr, 10));
        }
        benchmark::DoNotOptimize(sum);
    }
    reportPerNumber(state, fields);
}

} // namespace

BENCHMARK(parseFloatTextFields<fixed24Fields>)
    ->Name("parseFloatText/fixed24")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(strtodThenFloatFields<fixed24Fields>)
    ->Name("strtodThenFloat/fixed24")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(parseFloatTextFields<shortestFields>)
    ->Name("parseFloatText/shortest9")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(strtodThenFloatFields<shortestFields>)
    ->Name("strtodThenFloat/shortest9")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(parseIntTextFields)->Name("parseIntText/corner")->Unit(benchmark::kMillisecond);
BENCHMARK(strtolFields)->Name("strtol/corner")->Unit(benchmark::kMillisecond);
