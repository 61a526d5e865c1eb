#include "platform/PortProbe.h"

#include "platform/Descriptors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class LoopbackProbe : public PortProbe, public std::enable_shared_from_this<LoopbackProbe> {
public:
    LoopbackProbe(RunLoop& runLoop, std::function<void(bool)> done)
        : runLoop_(runLoop), done_(std::move(done)) {}

    ~LoopbackProbe() override { cancel(); }

    void start(int port, double timeoutSeconds) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return answerLater(false);
        ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
        descriptors::setNonBlocking(fd_);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int r;
        while ((r = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address)) < 0 &&
               errno == EINTR) {
        }
        if (r == 0) return answerLater(true);
        if (errno != EINPROGRESS) return answerLater(false);
        std::weak_ptr<LoopbackProbe> weak = shared_from_this();
        watch_ = runLoop_.watchDescriptor(fd_, RunLoop::Readiness::Write, [weak] {
            if (auto self = weak.lock()) self->connected();
        });
        timer_ = runLoop_.scheduleOnce(timeoutSeconds, [weak] {
            if (auto self = weak.lock()) self->answer(false);
        });
    }

private:
    void connected() {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        answer(error == 0);
    }

    // Answers from the run loop, so the caller never hears back before probe() returns.
    void answerLater(bool accepted) {
        std::weak_ptr<LoopbackProbe> weak = shared_from_this();
        timer_ = runLoop_.scheduleOnce(0, [weak, accepted] {
            if (auto self = weak.lock()) self->answer(accepted);
        });
    }

    void answer(bool accepted) {
        auto done = std::move(done_);
        done_ = nullptr;
        cancel();
        if (done) done(accepted);
    }

    void cancel() {
        if (watch_) watch_->invalidate();
        watch_.reset();
        if (timer_) timer_->invalidate();
        timer_.reset();
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    RunLoop& runLoop_;
    std::function<void(bool)> done_;
    std::shared_ptr<DescriptorWatch> watch_;
    std::shared_ptr<Timer> timer_;
    int fd_ = -1;
};

} // namespace

std::shared_ptr<PortProbe> PortProbe::probe(RunLoop& runLoop, int port, double timeoutSeconds,
                                            std::function<void(bool accepted)> done) {
    auto probe = std::make_shared<LoopbackProbe>(runLoop, std::move(done));
    probe->start(port, timeoutSeconds);
    return probe;
}
