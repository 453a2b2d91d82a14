#pragma once

#include <cstdint>
#include <string>

// Makes one Velmora program at a time the owner of a UDP port on this
// machine. Every Velmora program binds the controllers' port with address
// reuse, so without this a second program (a scan beside a batch) would
// silently take the replies the first one waits for. The ownership is a lock
// on a small file that every user of the machine meets (under /tmp, or the
// machine's program-data folder on Windows) and that names the holder and
// its user; the system releases it when the program ends, however it ends.
// The controller emulator binds addresses of its own and takes no part.
class CPortOwner {
public:
    CPortOwner() = default;
    ~CPortOwner();
    CPortOwner(const CPortOwner&) = delete;
    CPortOwner& operator=(const CPortOwner&) = delete;

    // Takes the port for this program (strProgram names it to a second one).
    // False when another program holds it: strHolder then says which, as
    // "velmora-cli (pid 4711, user alice)". Where no lock file can be made at all, the
    // port's own bind check is all there is, and this says true; so it does
    // for port 0, which the system makes a fresh port of this program's own.
    bool Acquire(std::uint16_t nPort, const std::string& strProgram, std::string& strHolder);
    void Release();
    bool Held() const { return m_bHeld; }

    // The holder as its lock file names it ("velmora (pid 4711, user alice)").
    static std::string HolderFromText(std::string strText);

private:
    std::intptr_t m_nHandle = -1;
    bool m_bHeld = false;
};
