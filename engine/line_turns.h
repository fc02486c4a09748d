#pragma once
// Several controllers on one serial line (an RS-485 pair, each selected by
// its SNP ID), served in turn. Each station runs an engine of its own (its
// own schedule, database, counters and tags); they share the port, and the
// line belongs to one of them at a time. A station that takes the line
// after another had it selects its controller again (break, attach with its
// ID, set-up): the controllers on a line go back to waiting for an attach
// when another one is addressed.
//
// A turn is one round of the station's schedule (every area read once, with
// the writes of the round), or one failed connection attempt. Stations take
// the line in the order they joined, each waiting station once per round of
// the line; one that is not waiting (its database being built) is skipped.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "serial/serial_port.h"
#include "types/notifier.h"

namespace tarnlight {

class LineTurns {
  public:
    explicit LineTurns(Notifier& notifier) : port_(notifier, noPause_) {}
    LineTurns(const LineTurns&) = delete;
    LineTurns& operator=(const LineTurns&) = delete;

    SerialPort& port() { return port_; }
    // A station for an engine; its index in the order of turns.
    int Join();

    enum class Turn {
        Stopped,   // stop was raised while waiting
        Same,      // the line is the station's and no other had it since
        Switched,  // another station had the line since: select the controller again
    };
    // Waits until the line is station's (at once when it is already),
    // looking at stop every few milliseconds.
    Turn Take(int station, const std::atomic<uint8_t>& stop);
    // The station's turn is over: the next waiting station gets the line.
    void Pass(int station);
    // The station takes no more turns (its worker ends).
    void Leave(int station);

  private:
    int NextWaiting() const;  // -1: none; with mutex_ held

    const uint16_t noPause_ = 0;  // until a station points the port at its T1
    SerialPort port_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> waiting_;  // by station
    int holder_ = -1;
    int lastHolder_ = -1;
    int next_ = 0;  // where the search for the next station starts
};

}  // namespace tarnlight
