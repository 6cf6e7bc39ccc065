// File permissions that bind a test even when it runs as root, as continuous integration does.
// Root passes permission checks only through its capabilities, and each thread has its own set:
// while a PermissionsBind lives, the calling thread works without them.
#pragma once

namespace testhelpers {

class PermissionsBind {
public:
    // Lays down overriding permissions, searching folders and acting as any file's owner.
    PermissionsBind();
    // Takes them up again.
    ~PermissionsBind();
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;

    // False when the thread's capabilities could not be changed: permissions may not bind then.
    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_changed = false;
    unsigned m_saved[2] = {0, 0}; // effective sets as they were
};

} // namespace testhelpers
