#pragma once
// A request that the controller refused with an error reply, as the link
// reports it: what was asked, and the controller's error codes. The
// controller is still on the line; only this request was not carried out.
#include <cstdint>

namespace tarnlight::snp {

struct Refusal {
    enum class Request { Read, Write, RunStop, Privilege };
    Request request = Request::Write;
    int type = 0;             // MemoryType of a read or a write
    uint16_t first = 0;       // the address written, or the first address read
    uint16_t last = 0;        // the last address read; the address written
    uint8_t runStopCode = 0;  // the target state of a refused Run/Stop
    uint8_t major = 0;        // the controller's error codes
    uint8_t minor = 0;

    static Refusal Read(int type, uint16_t first, uint16_t last) {
        return {Request::Read, type, first, last, 0, 0, 0};
    }
    static Refusal Write(int type, uint16_t address) {
        return {Request::Write, type, address, address, 0, 0, 0};
    }
    static Refusal RunStop(uint8_t code) { return {Request::RunStop, 0, 0, 0, code, 0, 0}; }
    // The privilege change of the link set-up: the password was refused.
    static Refusal Privilege() { return {Request::Privilege, 0, 0, 0, 0, 0, 0}; }
};

}  // namespace tarnlight::snp
