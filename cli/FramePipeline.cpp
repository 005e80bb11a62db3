#include "cli/FramePipeline.h"

#include <chrono>
#include <exception>
#include <thread>

#include "cli/FrameQueue.h"
#include "standin/PluginClient.h"
#include "host/ParameterIndex.h"

namespace Tamrin {
namespace Solvane {
namespace Cli {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A frame, or the failure that took its place, handed from stage to stage.
struct Item {
    std::unique_ptr<PipelineFrame> frame;
    std::exception_ptr error;
};

std::exception_ptr frameError(long frame, const std::exception_ptr& cause)
{
    try {
        std::rethrow_exception(cause);
    } catch (const FrameError&) {
        return cause;
    } catch (const std::exception& e) {
        return std::make_exception_ptr(FrameError(frame, e.what()));
    } catch (...) {
        return std::make_exception_ptr(FrameError(frame, "unknown failure"));
    }
}

} // namespace

FramePipeline::FramePipeline(StandIn::SubstituteHost& host, StandIn::HostThreadPool& threads) : host_(host), threads_(threads) {}

void FramePipeline::render(PipelineFrame& frame)
{
    const long long time = static_cast<long long>(frame.number) * host_.inData().time_step;
    if (time > INT32_MAX || time < INT32_MIN) {
        throw FrameError(frame.number, "the frame number is too large for the host's time");
    }
    if (!frame.output || frame.output->width() != frame.input->width() ||
        frame.output->height() != frame.input->height()) {
        worlds_.give(std::move(frame.output));
        frame.output = worlds_.take(frame.input->width(), frame.input->height());
    }
    PF_Err error = PF_Err_NONE;
    threads_.run([&] { error = host_.render(*frame.input, *frame.output, static_cast<A_long>(time)); });
    if (error != PF_Err_NONE) {
        // The quality as the host holds it for the frame, where the plug-in declared it.
        const A_long quality = host_.parameters().size() > static_cast<std::size_t>(kParamQuality)
                                   ? host_.parameters()[kParamQuality].current.u.pd.value
                                   : 0;
        throw FrameError(frame.number, frame.source + ": " +
                                           StandIn::describeRenderFailure(error, frame.input->width(),
                                                                 frame.input->height(), static_cast<int>(quality)));
    }
}

long FramePipeline::run(const Stages& stages)
{
    timings_ = Timings();
    const Clock::time_point start = Clock::now();
    long written = 0;
    try {
        written = overlap_ ? runOverlapped(stages) : runInTurn(stages);
    } catch (...) {
        timings_.wall = secondsSince(start);
        throw;
    }
    timings_.wall = secondsSince(start);
    return written;
}

long FramePipeline::runInTurn(const Stages& stages)
{
    long done = 0;
    for (long index = 0;; ++index) {
        PipelineFrame frame;
        frame.number = index;
        frame.input = worlds_.takeAny();
        try {
            Clock::time_point t = Clock::now();
            if (!stages.read(index, frame)) {
                break;
            }
            timings_.read += secondsSince(t);
            t = Clock::now();
            render(frame);
            timings_.render += secondsSince(t);
            t = Clock::now();
            stages.write(frame);
            timings_.write += secondsSince(t);
            timings_.frames = ++done;
            if (stages.written) {
                stages.written(frame, done);
            }
            worlds_.give(std::move(frame.output));
            worlds_.give(std::move(frame.input));
        } catch (...) {
            std::rethrow_exception(frameError(frame.number, std::current_exception()));
        }
    }
    return done;
}

long FramePipeline::runOverlapped(const Stages& stages)
{
    FrameQueue<Item> toRender(2);
    FrameQueue<Item> toWrite(2);
    double readSeconds = 0;
    double writeSeconds = 0;
    long done = 0;
    std::exception_ptr failure;

    std::thread reader([&] {
        for (long index = 0;; ++index) {
            Item item;
            item.frame = std::make_unique<PipelineFrame>();
            item.frame->number = index;
            item.frame->input = worlds_.takeAny();
            try {
                const Clock::time_point t = Clock::now();
                if (!stages.read(index, *item.frame)) {
                    break;
                }
                readSeconds += secondsSince(t);
            } catch (...) {
                item.error = frameError(item.frame->number, std::current_exception());
            }
            const bool failed = item.error != nullptr;
            if (!toRender.push(std::move(item)) || failed) {
                break;
            }
        }
        toRender.close();
    });

    std::thread writer([&] {
        Item item;
        while (toWrite.pop(item)) {
            if (!item.error) {
                try {
                    const Clock::time_point t = Clock::now();
                    stages.write(*item.frame);
                    writeSeconds += secondsSince(t);
                    ++done;
                    if (stages.written) {
                        stages.written(*item.frame, done);
                    }
                    worlds_.give(std::move(item.frame->output));
                } catch (...) {
                    item.error = frameError(item.frame->number, std::current_exception());
                }
            }
            if (item.error) {
                failure = item.error;
                // Nothing after a failed frame is read, rendered or written.
                toRender.abort();
                toWrite.abort();
                return;
            }
        }
    });

    Item item;
    while (toRender.pop(item)) {
        if (!item.error) {
            try {
                const Clock::time_point t = Clock::now();
                render(*item.frame);
                timings_.render += secondsSince(t);
                // The input is no longer needed; the writer holds only the output.
                worlds_.give(std::move(item.frame->input));
            } catch (...) {
                item.error = frameError(item.frame->number, std::current_exception());
            }
        }
        const bool failed = item.error != nullptr;
        if (!toWrite.push(std::move(item)) || failed) {
            break;
        }
    }
    toWrite.close();
    writer.join();
    // A reader still waiting for room is let go.
    toRender.abort();
    reader.join();

    timings_.read = readSeconds;
    timings_.write = writeSeconds;
    timings_.frames = done;
    if (failure) {
        std::rethrow_exception(failure);
    }
    return done;
}

} // namespace Cli
} // namespace Solvane
} // namespace Tamrin
