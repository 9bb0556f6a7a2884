#include "audio/LivePcmStream.h"

#include "audio/PcmEncoding.h"
#include "diagnostics/Diagnostics.h"

namespace wrenly {

namespace {
constexpr std::size_t outputFrames = 4096;
}

LivePcmStream::LivePcmStream(ResamplerFactory makeResampler)
    : makeResampler_(std::move(makeResampler)), output_(outputFrames) {
  pending_.reserve(chunkBytes + outputFrames * 2);
}

void LivePcmStream::configure(PcmHandler onPCM, FailureHandler onFailure) {
  handler_ = std::move(onPCM);
  failure_ = std::move(onFailure);
  pending_.clear();
  converter_.reset();
}

void LivePcmStream::prepare(double inputRate, bool continuing) {
  if (continuing) convert({}, true);
  converter_ = makeResampler_(inputRate);
  if (handler_ && !converter_) {
    // Live streaming is over for this recording; the stored audio is unaffected.
    if (failure_) failure_();
    handler_ = nullptr;
  }
}

void LivePcmStream::append(std::span<const float> mono) {
  if (!handler_) return;
  convert(mono, false);
}

void LivePcmStream::end() {
  convert({}, true);
  if (!pending_.empty() && handler_) handler_(std::move(pending_));
  pending_ = {};
  pending_.reserve(chunkBytes + outputFrames * 2);
  handler_ = nullptr;
  converter_.reset();
  failure_ = nullptr;
}

void LivePcmStream::cancel() {
  handler_ = nullptr;
  failure_ = nullptr;
  pending_.clear();
  converter_.reset();
}

void LivePcmStream::fail() {
  handler_ = nullptr;
  if (failure_) failure_();
  Diagnostics::record("stream PCM conversion failed; full WAV retained");
}

void LivePcmStream::convert(std::span<const float> input, bool ending) {
  if (!handler_ || !converter_) return;
  for (;;) {
    std::size_t consumed = 0;
    std::size_t produced = 0;
    try {
      produced = converter_->process(input, ending && input.empty(), output_, consumed);
    } catch (const ResamplerError&) {
      fail();
      return;
    }
    if (produced > 0) {
      PcmEncoding::appendPcm16(std::span<const float>(output_.data(), produced), pending_);
      std::size_t offset = 0;
      while (pending_.size() - offset >= chunkBytes) {
        std::vector<std::uint8_t> chunk(pending_.begin() + offset,
                                        pending_.begin() + offset + chunkBytes);
        offset += chunkBytes;
        if (handler_) handler_(std::move(chunk));
      }
      pending_.erase(pending_.begin(), pending_.begin() + offset);
    }
    input = input.subspan(consumed);
    if (consumed == 0 && produced == 0) return;  // drained, or no progress possible
    if (input.empty() && !ending) return;
  }
}

}  // namespace wrenly
