#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clock.hpp"
#include "edge_recorder.hpp"
#include "unique_fd.hpp"

// A GPIO line read back through the kernel's edge events: every edge with
// the time the kernel took in its interrupt handler, on the clock the tone
// is timed by. Found by name on every GPIO chip, as the tone's line is.
class EdgeLine {
public:
    // Holds the line as an input. Throws gpio::Error: no chip has the line,
    // another holds it (naming the holder), no access.
    explicit EdgeLine(const std::string& name);

    const std::string& name() const { return name_; }
    // The header pin of a line named GPIO<n>, or nothing.
    std::optional<int> headerPin() const;
    // "GPIO23 (header pin 16)", or the name alone for a line off the header.
    std::string described() const;

    // The edges that come until `until`, waking every `batch` to take what
    // the kernel kept. Throws gpio::Error when reading fails.
    std::vector<EdgeRecorder::Edge> readUntil(gpio::Clock::time_point until,
                                              gpio::Clock::duration batch);
    // Drops the edges that came so far.
    void drain();
    // Edges the kernel had to drop since the line was taken (its buffer was full).
    std::uint64_t lost() const { return lost_; }

private:
    void take(std::vector<EdgeRecorder::Edge>& into);

    std::string name_;
    gpio::UniqueFd fd_;
    std::uint32_t lastSeqno_ = 0;
    std::uint64_t lost_ = 0;
};
