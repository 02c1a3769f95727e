#pragma once

// How the desktop knows the program: its desktop entries and the handler
// association of the quorvane: link scheme. XdgDesktopRegistration is the
// Linux one.
class DesktopRegistration
{
public:
    virtual ~DesktopRegistration() = default;

    // Removes every registration of ours that belongs to this account; the
    // number removed (0 when there were none or none could be removed).
    virtual int clearRegistrations() = 0;
};
