#pragma once

class QHostAddress;

// The control interface answers only peers on this machine.
namespace ControlAccess {

// True for 127.0.0.0/8, ::1 and IPv4-mapped loopback (::ffff:127.x.y.z).
bool isAllowedPeer(const QHostAddress& peer);

} // namespace ControlAccess
