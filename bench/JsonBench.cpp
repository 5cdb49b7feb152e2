// Parsing a file-list answer of about 10 MB ({"list":[20,000 entries]}), next
// to RapidJSON's DOM parse of the same text, and writing it back.
#include <string>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include "foundation/json/Json.h"

namespace {

std::string makeFileList() {
  std::string text = R"({"list":[)";
  for (int i = 0; i < 20000; ++i) {
    std::string n = std::to_string(i);
    if (i != 0) {
      text += ',';
    }
    text += R"({"hash":"9f3c)" + n + R"(a81e5b6c0d2f47aa91","dir":)" + (i % 7 == 0 ? "1" : "0") +
            R"(,"fullpath":"\/Projects\/2024\/Reports\/)" + n +
            R"(\/\u5e74\u5ea6\u62a5\u544a.docx","filename":"年度报告 )" + n + R"(.docx","filehash":"da39a3ee5e6b4b0d3255bfef95601890afd8)" +
            n + R"(","filesize":)" + std::to_string(1048576 + i * 37) +
            R"(,"create_dateline":"1716890)" + n + R"(","last_dateline":)" + std::to_string(1716890000 + i) +
            R"(,"create_member_name":"Alice Example","last_member_name":"Bob \"B\" Example","mount_id":)" +
            std::to_string(100 + i % 5) +
            R"(,"ext":"docx","version":3,"lock_member_name":null,"share":false,"score":0.75,)"
            R"("property":{"color":"blue","tag":["work","q)" + n + R"("],"note":"line one\nline two"}})";
  }
  text += "]}";
  return text;
}

const std::string& fileList() {
  static const std::string text = makeFileList();
  return text;
}

void BM_ParseNb(benchmark::State& state) {
  const std::string& text = fileList();
  for (auto _ : state) {
    auto v = nb::objectFromJSONString(text);
    if (!v || (*v)["list"].size() != 20000) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseNb)->Unit(benchmark::kMillisecond);

void BM_ParseRapidJson(benchmark::State& state) {
  const std::string& text = fileList();
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    if (doc.HasParseError() || doc["list"].Size() != 20000) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseRapidJson)->Unit(benchmark::kMillisecond);

void BM_ParseNbLenient(benchmark::State& state) {
  const std::string& text = fileList();
  for (auto _ : state) {
    benchmark::DoNotOptimize(nb::dictionaryFromString(text));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseNbLenient)->Unit(benchmark::kMillisecond);

void BM_WriteNb(benchmark::State& state) {
  const nb::JsonValue v = *nb::objectFromJSONString(fileList());
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto text = nb::JSONString(v);
    bytes = text->size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteNb)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
