#include "glcontext/AEOpenGLContext.h"
#include "glcontext/ContextPlatform.h"
#include "glcontext/ContextRegistry.h"
#include "support/ContextPlatformSpy.h"
#include "support/GLTestContext.h"

#include <glbinding/gl/gl.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

using namespace gl;
using namespace Tamrin::Solvane;
using Tamrin::Solvane::Test::ContextPlatformSpy;

namespace {

// A thread that lives through a whole test, as a host thread lives through set-up, renders and set-down: its
// registry slot stays with it.
class Worker {
public:
    Worker() : thread_([this] { loop(); }) {}
    ~Worker()
    {
        run([this] { stopping_ = true; });
        thread_.join();
    }

    template <typename Function>
    auto run(Function function) -> decltype(function())
    {
        std::packaged_task<decltype(function())()> task(std::move(function));
        auto result = task.get_future();
        {
            std::lock_guard<std::mutex> lock(lock_);
            tasks_.push([&task] { task(); });
        }
        wake_.notify_one();
        return result.get();
    }

private:
    void loop()
    {
        while (!stopping_) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(lock_);
                wake_.wait(lock, [this] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop();
            }
            task();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::queue<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

std::size_t blocksIn(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find("OpenGL Version:  "); at != std::string::npos;
         at = text.find("OpenGL Version:  ", at + 1)) {
        ++count;
    }
    return count;
}

void* nativeOf(AEOpenGLContext* context)
{
    return context != nullptr ? context->platform().nativeContext() : nullptr;
}

bool currentIsCore()
{
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    return (mask & static_cast<GLint>(GL_CONTEXT_CORE_PROFILE_BIT)) != 0;
}

// Every case starts and ends with no context at all, as between two loads of the plug-in.
class ContextRegistryGLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Tamrin::Solvane::Test::makeTestContextCurrent()) {
            GTEST_SKIP() << "no OpenGL available";
        }
        tearDownContexts();
    }
    void TearDown() override { tearDownContexts(); }
};

TEST_F(ContextRegistryGLTest, FirstRequestCreatesAndAnnouncesLaterRequestsOnlyLookUp)
{
    setUpSharedContext();
    testing::internal::CaptureStdout();
    AEOpenGLContext* first = contextForThisThread();
    const std::string announced = testing::internal::GetCapturedStdout();
    EXPECT_EQ(blocksIn(announced), 1u);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, sharedContext());
    EXPECT_EQ(ContextPlatform::currentBinding().context, nativeOf(first));
    EXPECT_TRUE(currentIsCore());

    testing::internal::CaptureStdout();
    EXPECT_EQ(contextForThisThread(), first);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ContextRegistryGLTest, EveryThreadGetsAContextOfItsOwn)
{
    setUpSharedContext();
    AEOpenGLContext* mine = contextForThisThread();
    AEOpenGLContext* other = nullptr;
    std::thread([&] { other = contextForThisThread(); }).join();
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, mine);
    EXPECT_NE(other, sharedContext());
}

TEST_F(ContextRegistryGLTest, TearDownGoesInAscendingSlotOrderThenTheSharedContext)
{
    ContextPlatformSpy spy;
    Worker first, second, third;
    const auto request = [](Worker& worker) { return worker.run([] { return nativeOf(contextForThisThread()); }); };

    setUpSharedContext();
    void* shared = nativeOf(sharedContext());
    std::vector<void*> made = {request(first), request(second), request(third)};
    tearDownContexts();
    EXPECT_EQ(spy.tornDownContexts(), (std::vector<void*>{made[0], made[1], made[2], shared}));
    EXPECT_EQ(sharedContext(), nullptr);

    // After a new set-up the threads keep their slots but have no context: each gets a new one, never null. Made
    // in the opposite order, they are still torn down by slot.
    setUpSharedContext();
    shared = nativeOf(sharedContext());
    made[2] = request(third);
    made[1] = request(second);
    made[0] = request(first);
    for (void* context : made) {
        EXPECT_NE(context, nullptr);
    }
    tearDownContexts();
    const std::vector<void*> all = spy.tornDownContexts();
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(std::vector<void*>(all.begin() + 4, all.end()),
              (std::vector<void*>{made[0], made[1], made[2], shared}));
}

TEST_F(ContextRegistryGLTest, SecondSetUpReplacesTheSharedContextAndLeavesTheNewOneCurrent)
{
    ContextPlatformSpy spy;
    setUpSharedContext();
    void* first = nativeOf(sharedContext());
    setUpSharedContext();
    EXPECT_EQ(spy.tornDownContexts(), std::vector<void*>{first});
    EXPECT_EQ(ContextPlatform::currentBinding().context, nativeOf(sharedContext()));
    EXPECT_EQ(AEOpenGLContext::currentSerial(), sharedContext()->serial());
}

TEST_F(ContextRegistryGLTest, TearDownWithOnlyASharedContextOrNoneAtAll)
{
    ContextPlatformSpy spy;
    setUpSharedContext();
    void* shared = nativeOf(sharedContext());
    tearDownContexts();
    EXPECT_EQ(spy.tornDownContexts(), std::vector<void*>{shared});

    tearDownContexts();
    EXPECT_EQ(sharedContext(), nullptr);
    EXPECT_EQ(spy.tornDownContexts().size(), 1u);
}

TEST_F(ContextRegistryGLTest, RequestWithoutASharedContextMakesAPlainContext)
{
    AEOpenGLContext* context = contextForThisThread();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(sharedContext(), nullptr);
    EXPECT_FALSE(currentIsCore());
}

TEST_F(ContextRegistryGLTest, ThreadWhoseCreationFailedGetsANewContextLater)
{
    setUpSharedContext();
    ContextPlatformSpy spy;
    spy.failAt(ContextPlatformSpy::Step::VersionedContext);
    std::thread([&] {
        EXPECT_THROW(contextForThisThread(), AESDK_OpenGL_Fault);
        spy.failAt(ContextPlatformSpy::Step::None);
        AEOpenGLContext* context = contextForThisThread();
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(ContextPlatform::currentBinding().context, nativeOf(context));
        EXPECT_EQ(contextForThisThread(), context);
    }).join();
    EXPECT_EQ(spy.backendsMade(), 2u);
}

TEST_F(ContextRegistryGLTest, FailedSharedSetUpLeavesNoSharedContext)
{
    ContextPlatformSpy spy;
    spy.failAt(ContextPlatformSpy::Step::PlainContext);
    EXPECT_THROW(setUpSharedContext(), AESDK_OpenGL_Fault);
    EXPECT_EQ(sharedContext(), nullptr);
    EXPECT_EQ(spy.tornDownContexts().size(), 1u);
}

TEST_F(ContextRegistryGLTest, TestContextHelperIsIdempotent)
{
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
    const std::string first = testing::internal::GetCapturedStdout();
    EXPECT_EQ(blocksIn(first), 2u);
    void* context = ContextPlatform::currentBinding().context;
    EXPECT_TRUE(currentIsCore());

    testing::internal::CaptureStdout();
    ASSERT_TRUE(Tamrin::Solvane::Test::makeTestContextCurrent());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ContextPlatform::currentBinding().context, context);
    EXPECT_EQ(nativeOf(contextForThisThread()), context);
}

} // namespace
