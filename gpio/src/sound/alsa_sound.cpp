#include "alsa_sound.hpp"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "error.hpp"
#include "layer_thread.hpp"
#include "realtime.hpp"

namespace gpio {
namespace {

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

AlsaSound::Clock::duration playTime(std::int64_t frames) {
    return std::chrono::duration_cast<AlsaSound::Clock::duration>(std::chrono::nanoseconds(frames * 1'000'000'000 /
                                                                                           SquareWave::kRate));
}

}  // namespace

AlsaSound::AlsaSound(const std::string& device, Observer* observer)
    : device_(device), subject_("sound device \"" + device + "\""), observer_(observer) {
    snd_lib_error_set_handler(silent);
    int err = open();
    if (err < 0) throw Error(subject_, "cannot open it", -err, openRemedy(-err));
    err = configure();
    if (err < 0) {
        throw Error(subject_, "does not take 16-bit mono sound at 48 kHz", -err,
                    "name another device in GPIO_SOUND (plughw:N or default converts)");
    }
    // A sound server's stream takes its time to start: it starts here, on a
    // buffer of silence, so that no note is lost once the program plays.
    const std::vector<std::int16_t> silence(buffer_);
    snd_pcm_sframes_t primed = snd_pcm_writei(pcm_.get(), silence.data(), silence.size());
    if (primed < 0) primed = snd_pcm_recover(pcm_.get(), static_cast<int>(primed), 1);
    if (primed < 0) {
        err = static_cast<int>(-primed);
        throw Error(subject_, "cannot play on it", err, openRemedy(err));
    }
    queuedUntil_ = Clock::now() + playTime(primed);
    thread_ = startLayerThread([this] { run(); });
}

AlsaSound::~AlsaSound() {
    stop_ = true;
    thread_.join();
    if (pcm_) snd_pcm_drop(pcm_.get());
}

void AlsaSound::setFrequency(int hz) { hz_ = hz; }

int AlsaSound::open() {
    pcm_.reset();
    snd_pcm_t* pcm = nullptr;
    const int err = snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (err == 0) pcm_.reset(pcm);
    return err;
}

// The queue is the device's whole buffer: a blocking write returns once
// there is room, so what is queued is what was asked for, no more.
int AlsaSound::configure() {
    snd_pcm_t* pcm = pcm_.get();
    const auto queueUs = std::chrono::duration_cast<std::chrono::microseconds>(queue_).count();
    int err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, SquareWave::kRate, 1,
                                 static_cast<unsigned>(queueUs));
    if (err == 0) err = snd_pcm_get_params(pcm, &buffer_, &block_);
    return err;
}

void AlsaSound::run() {
    tuneThreadForTiming();
    SquareWave wave;
    std::vector<std::int16_t> block;
    int playing = 0;
    while (!stop_) {
        if (!pcm_) {
            reopen();
            continue;
        }
        const int hz = hz_;
        if (hz != playing) {
            playing = hz;
            wave.setFrequency(hz);
            if (observer_ != nullptr) {
                // The block made now leaves the device after what is queued.
                snd_pcm_sframes_t queued = 0;
                if (snd_pcm_delay(pcm_.get(), &queued) < 0) queued = 0;
                const std::int64_t queuedUs = std::int64_t{queued} * 1'000'000 / SquareWave::kRate;
                observer_->noteBegan(hz, frame_, Clock::now() + std::chrono::microseconds(queuedUs));
            }
        }
        block.resize(block_);
        wave.render(block.data(), block.size());
        if (!write(block.data(), block.size())) {
            pcm_.reset();
            continue;
        }
        keepPace(block.size());
    }
}

// A device that holds nothing of what it takes (ALSA's null, file and pipe
// plugins) plays nothing in real time, and would be written as fast as the
// CPU goes, at real-time priority: the thread keeps to the sample clock
// itself, a queue ahead of it at most. A device that holds what it took plays
// it, and its blocking writes are the clock.
void AlsaSound::keepPace(std::size_t count) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_.get());
    if (room < 0 || static_cast<snd_pcm_uframes_t>(room) < buffer_) return;
    const Clock::time_point now = Clock::now();
    const Clock::duration queue = playTime(static_cast<std::int64_t>(buffer_));
    queuedUntil_ = std::max(queuedUntil_, now) + playTime(static_cast<std::int64_t>(count));
    if (queuedUntil_ - now > queue && !stop_) std::this_thread::sleep_until(queuedUntil_ - queue);
}

bool AlsaSound::write(const std::int16_t* samples, std::size_t count) {
    while (count > 0 && !stop_) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm_.get(), samples, count);
        if (written == -EPIPE) {
            // Ran dry: the machine stalled longer than the queue lasts. A
            // longer queue rides out the same stalls; the tone goes on.
            if (observer_ != nullptr) observer_->ranDry();
            if (queue_ < kLongestQueue) {
                queue_ *= 2;
                snd_pcm_drop(pcm_.get());
                written = configure();
                queuedUntil_ = Clock::now();
                if (written == 0) {
                    report(Error(subject_, "the sound ran dry (an underrun); its queue is now " +
                                               std::to_string(queue_.count()) + " ms",
                                 0, "the machine was too busy; a new note now takes that long to be heard"));
                    continue;
                }
            } else if (!toldDry_) {
                toldDry_ = true;
                report(Error(subject_, "the sound ran dry (an underrun) and resumed", 0,
                             "the machine was too busy even for the longest queue; this is said once"));
            }
        }
        if (written < 0) written = snd_pcm_recover(pcm_.get(), static_cast<int>(written), 1);
        if (written < 0) {
            // Said once until a reopened device plays, however often it fails.
            if (!silent_) {
                report(Error(subject_, "the sound stopped", static_cast<int>(-written),
                             "the tone plays on the simulated pin; the device is tried again every second"));
            }
            silent_ = true;
            return false;
        }
        // Back once the device has taken more than it holds, so has played
        // (a device may take a buffer's worth and fail as it plays it).
        if (silent_ && frame_ + written > backAt_) {
            silent_ = false;
            report(Error(subject_, "the sound is back", 0, "playing from the current note"));
        }
        samples += written;
        count -= static_cast<std::size_t>(written);
        frame_ += written;
    }
    return true;
}

void AlsaSound::reopen() {
    for (int waited = 0; waited < 20 && !stop_; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (stop_ || open() < 0) return;
    if (configure() < 0) pcm_.reset();
    backAt_ = frame_ + static_cast<std::int64_t>(buffer_);
    queuedUntil_ = Clock::now();
}

}  // namespace gpio
