#include "NetHarness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nimbora::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int ElapsedMs(Clock::time_point since) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Waits until a freshly started server accepts on its port while the process still runs, and
// (when given) its pid file names it, so a stranger that grabbed the same port is not mistaken
// for it.
bool WaitForServer(ChildProcess& proc, int port, const std::string& pidFile, int timeoutMs) {
    auto start = Clock::now();
    while (ElapsedMs(start) < timeoutMs) {
        if (!proc.Running()) return false;
        bool pidOk = pidFile.empty() || std::atoi(ReadFile(pidFile).c_str()) == proc.Pid();
        if (pidOk && WaitForPort(port, 50)) return proc.Running();
        SleepMs(20);
    }
    return false;
}

} // namespace

int PickFreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

bool WaitForPort(int port, int timeoutMs) {
    auto start = Clock::now();
    do {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in a = Loopback(port);
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (ok) return true;
        SleepMs(10);
    } while (ElapsedMs(start) < timeoutMs);
    return false;
}

std::string FindProgram(const std::string& path) {
    if (path.find('/') != std::string::npos) return access(path.c_str(), X_OK) == 0 ? path : "";
    const char* env = std::getenv("PATH");
    std::stringstream dirs(env ? env : "/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string full = dir + "/" + path;
        if (!dir.empty() && access(full.c_str(), X_OK) == 0) return full;
    }
    return {};
}

int RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    ChildProcess proc;
    if (!proc.Start(argv)) return -1;
    return proc.Wait(timeoutMs);
}

ScratchDir::ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/nimbora-net-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) PathName = buf.data();
}

ScratchDir::~ScratchDir() {
    if (PathName.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(PathName, ec);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& outputFile) {
    Stop();
    if (argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outputFile.empty() ? "/dev/null" : outputFile;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    ProcessId = pid;
    return true;
}

bool ChildProcess::Running() {
    if (ProcessId <= 0) return false;
    int status = 0;
    pid_t r = waitpid(ProcessId, &status, WNOHANG);
    if (r == 0) return true;
    ProcessId = -1; // ended (and reaped), or not our child any more
    return false;
}

void ChildProcess::Stop() {
    if (ProcessId <= 0) return;
    kill(ProcessId, SIGTERM);
    auto start = Clock::now();
    int status = 0;
    while (ElapsedMs(start) < 3000) {
        pid_t r = waitpid(ProcessId, &status, WNOHANG);
        if (r == ProcessId || r < 0) {
            ProcessId = -1;
            return;
        }
        SleepMs(10);
    }
    kill(ProcessId, SIGKILL);
    waitpid(ProcessId, &status, 0);
    ProcessId = -1;
}

int ChildProcess::Wait(int timeoutMs) {
    auto start = Clock::now();
    while (ProcessId > 0 && ElapsedMs(start) < timeoutMs) {
        int status = 0;
        pid_t r = waitpid(ProcessId, &status, WNOHANG);
        if (r == ProcessId) {
            ProcessId = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (r < 0) break;
        SleepMs(10);
    }
    Stop();
    return -1;
}

bool MakeSelfSignedCert(const std::string& dir, std::string* certFile, std::string* keyFile) {
    std::string openssl = FindProgram("openssl");
    if (openssl.empty()) return false;
    *certFile = dir + "/cert.pem";
    *keyFile = dir + "/key.pem";
    int rc = RunProgram({openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                         "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", *keyFile, "-out",
                         *certFile, "-days", "2", "-subj", "/CN=localhost"},
                        20000);
    return rc == 0 && access(certFile->c_str(), R_OK) == 0;
}

// ---- nginx ----

namespace {
std::string NginxProgram() {
    const std::string found = FindProgram("/usr/sbin/nginx");
    return found.empty() ? FindProgram("nginx") : found;
}
std::string TinyproxyProgram() {
    const std::string found = FindProgram("/usr/bin/tinyproxy");
    return found.empty() ? FindProgram("tinyproxy") : found;
}
} // namespace

bool HaveNginx() {
    return !NginxProgram().empty();
}

bool HaveTinyproxy() {
    return !TinyproxyProgram().empty();
}

bool NginxServer::Start(const std::string& root, const std::string& serverConfig,
                        const std::string& certFile, const std::string& keyFile) {
    Stop();
    const std::string nginx = NginxProgram();
    if (nginx.empty()) return false;
    Tls = !certFile.empty();
    // A port picked here may be taken by someone else before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        Dir = std::make_unique<ScratchDir>();
        const std::string d = Dir->Path();
        if (d.empty()) return false;
        ListenPort = PickFreePort();
        std::ostringstream conf;
        if (geteuid() == 0) conf << "user root;\n";
        conf << "master_process off;\n"
             << "worker_processes 1;\n"
             << "pid " << d << "/nginx.pid;\n"
             << "lock_file " << d << "/nginx.lock;\n"
             << "error_log " << d << "/error.log info;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n"
             << "  access_log " << d << "/access.log;\n"
             << "  client_body_temp_path " << d << "/body;\n"
             << "  proxy_temp_path " << d << "/proxy;\n"
             << "  fastcgi_temp_path " << d << "/fastcgi;\n"
             << "  uwsgi_temp_path " << d << "/uwsgi;\n"
             << "  scgi_temp_path " << d << "/scgi;\n"
             << "  types { text/html html; text/plain txt; image/png png; image/jpeg jpg;\n"
             << "          image/gif gif; }\n"
             << "  default_type application/octet-stream;\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << ListenPort << (Tls ? " ssl" : "") << ";\n"
             << "    server_name localhost;\n"
             << "    root " << root << ";\n";
        if (Tls)
            conf << "    ssl_certificate " << certFile << ";\n"
                 << "    ssl_certificate_key " << keyFile << ";\n";
        conf << serverConfig << "\n  }\n}\n";
        if (!WriteFile(d + "/nginx.conf", conf.str())) return false;
        if (!Process.Start({nginx, "-p", d + "/", "-e", d + "/error.log", "-c", d + "/nginx.conf",
                            "-g", "daemon off;"},
                           d + "/output.log"))
            return false;
        if (WaitForServer(Process, ListenPort, d + "/nginx.pid", 10000)) return true;
        Process.Stop();
        // Leave the last failed folder for ErrorLog().
        if (attempt == 4) return false;
    }
    return false;
}

void NginxServer::Stop() {
    Process.Stop();
    ListenPort = 0;
}

std::string NginxServer::Url(const std::string& path) const {
    return std::string(Tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(ListenPort) +
           path;
}

std::string NginxServer::AccessLog() const {
    return Dir ? ReadFile(Dir->File("access.log")) : "";
}

std::string NginxServer::ErrorLog() const {
    return Dir ? ReadFile(Dir->File("error.log")) + ReadFile(Dir->File("output.log")) : "";
}

// ---- tinyproxy ----

bool TinyProxyServer::Start(const std::string& user, const std::string& password) {
    Stop();
    const std::string tinyproxy = TinyproxyProgram();
    if (tinyproxy.empty()) return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        Dir = std::make_unique<ScratchDir>();
        const std::string d = Dir->Path();
        if (d.empty()) return false;
        ListenPort = PickFreePort();
        std::ostringstream conf;
        conf << "Port " << ListenPort << "\n"
             << "Listen 127.0.0.1\n"
             << "Timeout 30\n"
             << "MaxClients 16\n"
             << "LogFile \"" << d << "/tinyproxy.log\"\n"
             << "LogLevel Info\n"
             << "PidFile \"" << d << "/tinyproxy.pid\"\n"
             << "Allow 127.0.0.1\n";
        if (!user.empty()) conf << "BasicAuth " << user << " " << password << "\n";
        if (!WriteFile(d + "/tinyproxy.conf", conf.str())) return false;
        if (!Process.Start({tinyproxy, "-d", "-c", d + "/tinyproxy.conf"}, d + "/output.log"))
            return false;
        if (WaitForServer(Process, ListenPort, {}, 10000)) return true;
        Process.Stop();
    }
    return false;
}

void TinyProxyServer::Stop() {
    Process.Stop();
    ListenPort = 0;
}

std::string TinyProxyServer::Log() const {
    return Dir ? ReadFile(Dir->File("tinyproxy.log")) + ReadFile(Dir->File("output.log")) : "";
}

// ---- scripted server ----

std::string ScriptedServer::Connection::ReadRequest() {
    std::string head;
    auto start = Clock::now();
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        if (Owner->Stopping || ElapsedMs(start) > 5000) return {};
        pollfd p{Fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        ssize_t n = recv(Fd, buf, sizeof buf, 0);
        if (n <= 0) return {};
        head.append(buf, std::size_t(n));
    }
    std::lock_guard<std::mutex> lock(Owner->RequestsMutex);
    Owner->RequestHeads.push_back(head);
    return head;
}

bool ScriptedServer::Connection::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (Owner->Stopping) return false;
        // Never block: a client that stops reading must not keep Stop() waiting.
        pollfd p{Fd, POLLOUT, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        ssize_t n = send(Fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool ScriptedServer::Connection::Pause(int ms) {
    auto start = Clock::now();
    while (ElapsedMs(start) < ms) {
        if (Owner->Stopping) return false;
        SleepMs(std::min(10, ms));
    }
    return !Owner->Stopping;
}

bool ScriptedServer::Start(std::vector<Behaviour> behaviours) {
    Stop();
    if (behaviours.empty()) return false;
    Behaviours = std::move(behaviours);
    ListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (ListenFd < 0) return false;
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (bind(ListenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(ListenFd, 16) != 0 ||
        getsockname(ListenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(ListenFd);
        ListenFd = -1;
        return false;
    }
    ListenPort = ntohs(a.sin_port);
    Stopping = false;
    Connections = 0;
    AcceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void ScriptedServer::AcceptLoop() {
    while (!Stopping) {
        pollfd p{ListenFd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        int fd = accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int index = Connections++;
        Behaviour behaviour = Behaviours[std::min<std::size_t>(index, Behaviours.size() - 1)];
        std::lock_guard<std::mutex> lock(Mutex);
        // A bounded number of connections: a runaway client cannot exhaust the test process.
        if (Workers.size() >= 64) {
            close(fd);
            continue;
        }
        Workers.emplace_back([this, fd, behaviour] {
            Connection c(fd, this);
            behaviour(c);
            close(fd);
        });
    }
}

void ScriptedServer::Stop() {
    Stopping = true;
    if (AcceptThread.joinable()) AcceptThread.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(Mutex);
        workers.swap(Workers);
    }
    for (auto& t : workers)
        t.join();
    if (ListenFd >= 0) close(ListenFd);
    ListenFd = -1;
}

std::string ScriptedServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(ListenPort) + path;
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(RequestsMutex);
    return RequestHeads;
}

} // namespace nimbora::test
