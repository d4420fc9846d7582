#pragma once
// Real servers for network tests, all on 127.0.0.1: nginx for files, tinyproxy as a proxy, and
// a scripted server in this process for answers no sane server gives. Each object starts its own
// process (or thread) in its own scratch folder and stops, reaps and removes it when destroyed,
// so fixtures can run side by side under ctest -j.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbora::test {

// Whether the servers are installed; tests that need one are skipped without it.
bool HaveNginx();
bool HaveTinyproxy();
// A port on 127.0.0.1 that nothing listened on a moment ago.
int PickFreePort();
// True once 127.0.0.1:port accepts a connection; false after timeoutMs.
bool WaitForPort(int port, int timeoutMs);
// Full path of an executable: `path` itself when it is executable, else found on $PATH;
// empty when there is none.
std::string FindProgram(const std::string& path);
// Runs a program to its end (killed after timeoutMs); its exit code, or -1.
int RunProgram(const std::vector<std::string>& argv, int timeoutMs);
// A scratch folder under $TMPDIR (or /tmp), removed with its contents when destroyed.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return PathName; }
    std::string File(const std::string& name) const { return PathName + "/" + name; }

private:
    std::string PathName;
};

// A process started from an argument vector (no shell); stopped and reaped when destroyed.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // stdout and stderr go to outputFile (or nowhere when empty).
    bool Start(const std::vector<std::string>& argv, const std::string& outputFile = {});
    // True while it runs; reaps it once it has ended.
    bool Running();
    // SIGTERM, up to 3 s to end, then SIGKILL; always reaped.
    void Stop();
    // Waits for it to end; its exit code, or -1 when it was killed or ran past timeoutMs (then
    // it is stopped).
    int Wait(int timeoutMs);
    pid_t Pid() const { return ProcessId; }

private:
    pid_t ProcessId = -1;
};

// A self-signed certificate for "localhost" made with the openssl program. False when openssl
// is missing or fails.
bool MakeSelfSignedCert(const std::string& dir, std::string* certFile, std::string* keyFile);

// nginx in the foreground, one process, serving `root`.
class NginxServer {
public:
    ~NginxServer() { Stop(); }
    // serverConfig: directives added inside the server block (locations, headers...).
    // With certFile and keyFile the server speaks only HTTPS.
    bool Start(const std::string& root, const std::string& serverConfig = {},
               const std::string& certFile = {}, const std::string& keyFile = {});
    void Stop();
    int Port() const { return ListenPort; }
    std::string Url(const std::string& path) const;
    std::string AccessLog() const;
    // Why Start failed (the error log), for test messages.
    std::string ErrorLog() const;

private:
    std::unique_ptr<ScratchDir> Dir;
    ChildProcess Process;
    int ListenPort = 0;
    bool Tls = false;
};

// A fixture whose tests share one nginx, started once for the suite: `Suite` (the test class
// itself) provides `static std::string ServeFiles(const std::string& root)`, which writes the
// served files into root and returns the server-block directives. Without nginx every test is
// skipped. A derived SetUp calls this one first and returns when it skipped or failed.
template <class Suite> class NginxSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!HaveNginx()) return;
        Root = std::make_unique<ScratchDir>();
        const std::string config = Suite::ServeFiles(Root->Path());
        Server = std::make_unique<NginxServer>();
        Started = Server->Start(Root->Path(), config);
    }
    static void TearDownTestSuite() {
        Server.reset();
        Root.reset();
    }
    void SetUp() override {
        if (!Server) GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(Started) << Server->ErrorLog();
    }
    static NginxServer& Nginx() { return *Server; }

private:
    inline static std::unique_ptr<ScratchDir> Root;
    inline static std::unique_ptr<NginxServer> Server;
    inline static bool Started = false;
};

// tinyproxy in the foreground; with a user name it demands Basic authentication.
class TinyProxyServer {
public:
    ~TinyProxyServer() { Stop(); }
    bool Start(const std::string& user = {}, const std::string& password = {});
    void Stop();
    int Port() const { return ListenPort; }
    // tinyproxy's log (requests it forwarded).
    std::string Log() const;

private:
    std::unique_ptr<ScratchDir> Dir;
    ChildProcess Process;
    int ListenPort = 0;
};

// An HTTP peer scripted per connection: the n-th connection runs the n-th behaviour (the last
// one for all later connections). Runs on its own threads; Stop() ends every behaviour within
// a few tens of milliseconds, since waits inside behaviours watch for it.
class ScriptedServer {
public:
    class Connection {
    public:
        // The request head up to the blank line (empty on close, error or 5 s of silence).
        std::string ReadRequest();
        // False when the peer is gone.
        bool Send(const std::string& bytes);
        // Waits ms milliseconds, or less when the server stops. False when it stopped.
        bool Pause(int ms);

    private:
        friend class ScriptedServer;
        Connection(int fd, ScriptedServer* owner) : Fd(fd), Owner(owner) {}
        int Fd;
        ScriptedServer* Owner;
    };
    using Behaviour = std::function<void(Connection&)>;

    ~ScriptedServer() { Stop(); }
    bool Start(std::vector<Behaviour> behaviours);
    void Stop();
    int Port() const { return ListenPort; }
    std::string Url(const std::string& path) const;
    // Request heads read so far, in order.
    std::vector<std::string> Requests() const;
    int ConnectionCount() const { return Connections; }

private:
    void AcceptLoop();

    std::vector<Behaviour> Behaviours;
    int ListenFd = -1;
    int ListenPort = 0;
    std::atomic<bool> Stopping{false};
    std::atomic<int> Connections{0};
    std::thread AcceptThread;
    std::mutex Mutex;
    std::vector<std::thread> Workers;
    mutable std::mutex RequestsMutex;
    std::vector<std::string> RequestHeads;
};

} // namespace nimbora::test
