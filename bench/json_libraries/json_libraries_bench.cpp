// Parse and write a 1,000-record listing (about 170 KB, the result of a
// large list_nutritions) with each candidate library and with VMCPJsonValue.
#include <qarn/mcp/json_value.h>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <boost/json/src.hpp>
#include <nlohmann/json.hpp>

#include <string>

namespace {

using Qarn::mcp::VMCPJsonValue;

// A listing shaped like the host's: five members a record, three arrays.
const std::string& Listing() {
  static const std::string text = [] {
    const char* genres[] = {"Point cloud", "Raster", "Mesh", "Vector"};
    auto list = VMCPJsonValue::MakeArray();
    for (int i = 0; i < 1000; ++i) {
      auto record = VMCPJsonValue::MakeObject();
      record["name"] = "Point Cloud Tiler " + std::to_string(i);
      record["description"] = "Cuts a large \"point cloud\" into tiles of a given length.";
      record["extensions"].push_back(".las");
      record["extensions"].push_back(".laz");
      record["output_extensions"].push_back(".tile");
      record["genres"].push_back(genres[i % 4]);
      list.push_back(std::move(record));
    }
    auto result = VMCPJsonValue::MakeObject();
    result["success"] = true;
    result["count"] = 1000;
    result["nutritions"] = std::move(list);
    return result.dump();
  }();
  return text;
}

template <class Parse>
void ParseEach(benchmark::State& state, Parse parse) {
  const std::string& text = Listing();
  for (auto _ : state) benchmark::DoNotOptimize(parse(text));
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}

template <class Dump>
void DumpEach(benchmark::State& state, Dump dump) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string text = dump();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
}

void BM_Parse_VMCPJsonValue(benchmark::State& state) {
  ParseEach(state, [](const std::string& text) { return VMCPJsonValue::Parse(text); });
}
void BM_Parse_RapidJsonDocument(benchmark::State& state) {
  ParseEach(state, [](const std::string& text) {
    auto document = std::make_unique<rapidjson::Document>();
    document->Parse(text.data(), text.size());
    return document;
  });
}
void BM_Parse_BoostJson(benchmark::State& state) {
  ParseEach(state, [](const std::string& text) { return boost::json::parse(text); });
}
void BM_Parse_NlohmannJsonOrdered(benchmark::State& state) {
  ParseEach(state, [](const std::string& text) { return nlohmann::ordered_json::parse(text); });
}

void BM_Dump_VMCPJsonValue(benchmark::State& state) {
  const auto value = VMCPJsonValue::Parse(Listing());
  DumpEach(state, [&] { return value.dump(); });
}
void BM_Dump_RapidJsonDocument(benchmark::State& state) {
  rapidjson::Document document;
  document.Parse(Listing().data(), Listing().size());
  DumpEach(state, [&] {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
  });
}
void BM_Dump_BoostJson(benchmark::State& state) {
  const auto value = boost::json::parse(Listing());
  DumpEach(state, [&] { return boost::json::serialize(value); });
}
void BM_Dump_NlohmannJsonOrdered(benchmark::State& state) {
  const auto value = nlohmann::ordered_json::parse(Listing());
  DumpEach(state, [&] { return value.dump(); });
}

BENCHMARK(BM_Parse_VMCPJsonValue)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse_RapidJsonDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse_BoostJson)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse_NlohmannJsonOrdered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dump_VMCPJsonValue)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dump_RapidJsonDocument)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dump_BoostJson)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dump_NlohmannJsonOrdered)->Unit(benchmark::kMicrosecond);

}  // namespace
