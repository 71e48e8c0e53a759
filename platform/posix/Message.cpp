#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include <velcom/win32.h>

namespace {

// A descriptor is carried in the window value off by one, so that descriptor 0 is not a null
// window.
int descriptorFromWindow(HWND window) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(window) - 1);
}

// Writing to a pipe nobody reads raises SIGPIPE, which would end the host. Block it around the
// write and take back a SIGPIPE the write caused, so the poster only sees EPIPE.
ssize_t writeWithoutSigpipe(int descriptor, const void* data, std::size_t size) {
    sigset_t sigpipe;
    sigset_t previousMask;
    sigset_t pending;
    sigemptyset(&sigpipe);
    sigaddset(&sigpipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &sigpipe, &previousMask);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    ssize_t written;
    do {
        written = write(descriptor, data, size);
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    if (written < 0 && writeError == EPIPE && !wasPending) {
        const timespec noWait{};
        while (sigtimedwait(&sigpipe, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    errno = writeError;
    return written;
}

}  // namespace

extern "C" HWND velcomWindowFromDescriptor(int descriptor) {
    if (descriptor < 0) return nullptr;
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(descriptor) + 1);
}

extern "C" BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        errno = EBADF;
        return FALSE;
    }
    const VELCOM_POSTED_MESSAGE record{message, wParam, lParam};
    const ssize_t written =
        writeWithoutSigpipe(descriptorFromWindow(window), &record, sizeof record);
    return written == static_cast<ssize_t>(sizeof record) ? TRUE : FALSE;
}

extern "C" BOOL velcomReceivePostedMessage(int descriptor, VELCOM_POSTED_MESSAGE* message) {
    if (message == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    auto* cursor = reinterpret_cast<char*>(message);
    std::size_t remaining = sizeof *message;
    while (remaining > 0) {
        const ssize_t got = read(descriptor, cursor, remaining);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EPIPE;
            return FALSE;
        }
        cursor += got;
        remaining -= static_cast<std::size_t>(got);
    }
    return TRUE;
}
