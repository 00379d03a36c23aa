#include "alsa_sound.hpp"

#include <cerrno>

#include "error.hpp"
#include "realtime.hpp"

namespace gpio {
namespace {

// Short enough that a new note is heard within tens of milliseconds, long
// enough that a busy machine does not starve the device.
constexpr unsigned kLatencyUs = 20'000;
constexpr std::size_t kKeep = 4096;  // figures kept for the benchmark

// ALSA writes its own lines on standard error; the layer says one of its own.
void silent(const char*, int, const char*, int, const char*, ...) {}

std::string openRemedy(int err) {
    if (err == EBUSY) return "another program holds it; close that or name another device in GPIO_SOUND";
    if (err == ENOENT || err == ENODEV || err == ENXIO) {
        // Also what the sound servers' plugins say when no server runs.
        return "no such device, or no sound server behind it: start PipeWire or PulseAudio, "
               "or name a device that exists in GPIO_SOUND (aplay -L lists them)";
    }
    if (err == ECONNREFUSED || err == EHOSTDOWN || err == EHOSTUNREACH) {
        return "start the sound server (PipeWire or PulseAudio), or name a hardware device in GPIO_SOUND";
    }
    if (err == EACCES || err == EPERM) return "join the audio group, or run in a desktop session";
    return "check the sound set-up (aplay -L), or use GPIO_BACKEND=sim";
}

void keep(std::vector<double>& figures, double value) {
    if (figures.size() < kKeep) figures.push_back(value);
}

}  // namespace

AlsaSound::AlsaSound(const std::string& device) : subject_("sound device \"" + device + "\"") {
    snd_lib_error_set_handler(silent);
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) throw Error(subject_, "cannot open it", -err, openRemedy(-err));
    pcm_.reset(pcm);
    err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, SquareWave::kRate, 1,
                             kLatencyUs);
    snd_pcm_uframes_t buffer = 0;
    if (err == 0) err = snd_pcm_get_params(pcm, &buffer, &block_);
    if (err < 0) {
        throw Error(subject_, "does not take 16-bit mono sound at 48 kHz", -err,
                    "name another device in GPIO_SOUND (plughw:N or default converts)");
    }
    // A sound server's stream takes its time to start: it starts here, on a
    // buffer of silence, so that no note is lost once the program plays.
    const std::vector<std::int16_t> silence(buffer);
    snd_pcm_sframes_t primed = snd_pcm_writei(pcm, silence.data(), silence.size());
    if (primed < 0) primed = snd_pcm_recover(pcm, static_cast<int>(primed), 1);
    if (primed < 0) throw Error(subject_, "cannot play on it", static_cast<int>(-primed), openRemedy(static_cast<int>(-primed)));
    thread_ = std::thread([this] { run(); });
}

AlsaSound::~AlsaSound() {
    stop_ = true;
    thread_.join();
    snd_pcm_drop(pcm_.get());
}

void AlsaSound::setFrequency(int hz) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (hz == hz_) return;
    hz_ = hz;
    askedAt_ = Clock::now();
    ++request_;
}

AlsaSound::Stats AlsaSound::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

void AlsaSound::run() {
    tuneThreadForTiming();
    SquareWave wave;
    std::vector<std::int16_t> block(block_);
    std::uint64_t playing = 0;
    std::int64_t frame = 0;  // samples handed to the device so far
    bool toldUnderrun = false;
    while (!stop_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (request_ != playing) {
                playing = request_;
                wave.setFrequency(hz_);
                noteBegins(askedAt_, frame);
            }
        }
        wave.render(block.data(), block.size());
        snd_pcm_sframes_t written = snd_pcm_writei(pcm_.get(), block.data(), block.size());
        if (written == -EPIPE) {
            // The device ran dry: a busy machine. Said once; the tone goes on.
            if (!toldUnderrun) {
                report(Error(subject_, "the sound ran dry (an underrun) and resumed", 0,
                             "the machine was too busy; the tone plays on, this is said once"));
                toldUnderrun = true;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            ++stats_.underruns;
        }
        if (written < 0) written = snd_pcm_recover(pcm_.get(), static_cast<int>(written), 1);
        if (written < 0) {
            report(Error(subject_, "the sound stopped", static_cast<int>(-written),
                         "the tone plays on the simulated pin only; restart the program to hear it"));
            return;
        }
        frame += written;
    }
}

void AlsaSound::noteBegins(const Clock::time_point& asked, std::int64_t frame) {
    // The block being made now leaves the device after what is queued.
    snd_pcm_sframes_t queued = 0;
    if (snd_pcm_delay(pcm_.get(), &queued) < 0) queued = 0;
    const auto heard = Clock::now() + std::chrono::microseconds(queued * 1'000'000 / SquareWave::kRate);
    keep(stats_.latencyMs, std::chrono::duration<double, std::milli>(heard - asked).count());
    if (noteStart_ >= 0) keep(stats_.noteMs, static_cast<double>(frame - noteStart_) * 1000.0 / SquareWave::kRate);
    noteStart_ = frame;
}

}  // namespace gpio
