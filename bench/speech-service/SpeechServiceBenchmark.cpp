// Word error rate, batch real-time factor and the finish-to-result time of the streaming path
// for the built-in PocketSphinx engine. Network and TLS time are not included (a few ms on
// loopback; the service logs "stream finish_to_result_ms" for the whole path).
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "recognition/PocketSphinxRecogniser.h"
#include "recognition/WavAudio.h"

using namespace wrenly::speech;

namespace {

const std::string data = "/usr/share/pocketsphinx/test/data/";

std::vector<std::int16_t> load(const std::string& file) {
  std::stringstream bytes;
  bytes << std::ifstream(data + file, std::ios::binary).rdbuf();
  if (file.ends_with(".raw")) return samplesOf(bytes.str());
  auto wav = readWav(bytes.str());
  return std::holds_alternative<WavFailure>(wav) ? std::vector<std::int16_t>{}
                                                 : std::get<std::vector<std::int16_t>>(wav);
}

// Utterances with the transcriptions shipped beside them ("<s> words </s> (id)").
std::vector<std::pair<std::vector<std::int16_t>, std::string>> utterances() {
  std::vector<std::pair<std::vector<std::int16_t>, std::string>> all;
  all.emplace_back(load("goforward.raw"), "go forward ten meters");
  for (auto [folder, list] :
       {std::pair{"cards/", "cards.transcription"}, std::pair{"librivox/", "transcription"}}) {
    std::ifstream lines(data + folder + list);
    for (std::string line; std::getline(lines, line);) {
      const size_t open = line.rfind('(');
      std::string words = line.substr(0, open);
      for (const char* tag : {"<s>", "</s>"}) {
        if (auto at = words.find(tag); at != std::string::npos) words.erase(at, std::strlen(tag));
      }
      const std::string id = line.substr(open + 1, line.rfind(')') - open - 1);
      all.emplace_back(load(std::string(folder) + id + ".wav"), words);
    }
  }
  return all;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> list;
  for (std::string word; in >> word;) list.push_back(word);
  return list;
}

size_t editDistance(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

PocketSphinxRecogniser& engine() {
  static auto made = PocketSphinxRecogniser::create(PocketSphinxModel{}, 1);
  return *made.value();
}

// One pass over every utterance per iteration; counters: word error rate and real-time factor.
void BM_BatchRecognitionOfTheTestUtterances(benchmark::State& state) {
  const auto all = utterances();
  double audioSeconds = 0;
  for (const auto& [samples, text] : all) audioSeconds += samples.size() / 16000.0;
  size_t errors = 0;
  size_t reference = 0;
  for (auto _ : state) {
    errors = 0;
    reference = 0;
    for (const auto& [samples, text] : all) {
      auto outcome = engine().recognise(samples, {});
      const auto heard = std::holds_alternative<Recognition>(outcome)
                             ? std::get<Recognition>(outcome).transcript
                             : std::string();
      errors += editDistance(words(text), words(heard));
      reference += words(text).size();
    }
  }
  state.counters["utterances"] = static_cast<double>(all.size());
  state.counters["wer"] = static_cast<double>(errors) / static_cast<double>(reference);
  state.counters["audio_s"] = audioSeconds;
  state.counters["rtf"] =
      benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BatchRecognitionOfTheTestUtterances)->Unit(benchmark::kMillisecond)->Iterations(3);

// A 10 s utterance fed as 100 ms frames as they would arrive; only finish() is timed.
void BM_FinishToResultAfterTenSecondsOfStreamedSpeech(benchmark::State& state) {
  std::vector<std::int16_t> speech;
  for (const auto& [samples, text] : utterances()) {
    speech.insert(speech.end(), samples.begin(), samples.end());
    if (speech.size() >= 160000) break;
  }
  speech.resize(160000);
  for (auto _ : state) {
    state.PauseTiming();
    auto opened = engine().open({});
    auto stream = std::move(std::get<std::unique_ptr<RecognitionStream>>(opened));
    for (size_t at = 0; at < speech.size(); at += 1600) {
      stream->feed(std::span(speech).subspan(at, 1600));
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(stream->finish());
  }
}
BENCHMARK(BM_FinishToResultAfterTenSecondsOfStreamedSpeech)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);

}  // namespace
