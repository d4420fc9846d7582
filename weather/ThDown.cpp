#include "weather/ThDown.h"

#include "core/Cp1252.h"
#include "core/Messages.h"
#include "core/Synchronize.h"
#include "core/TextHelpers.h"
#include "net/HttpCli.h"
#include "platform/Files.h"
#include "weather/CloudCache.h"
#include "weather/WeatherTexts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <zlib.h>

namespace nimbora {

namespace {

// The folder part of a path, with its trailing "/".
std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

TDownThread::TDownThread(TDownInfo info, TSynchronizer* sync,
                         std::function<void(TDownThread&)> results)
    : DownInfo(std::move(info)), Synchronizer(sync), DownResults(std::move(results)) {}

TDownThread::~TDownThread() {
    Terminate();
    Join();
}

void TDownThread::Execute() {
    if (Terminated()) return;
    FError = ErrNone;
    Working = true;
    DownInfo.ContentType = TypUnk;

    THttpCli client;
    THttpRequest& request = client.Request;
    request.Proxy = HttpProxyOf(DownInfo.ProxyInfo, DownInfo.Url);
    request.Url = DownInfo.Url;
    request.Accept = texts::DownloadAccept;
    request.AcceptLanguage = texts::AcceptLanguage;
    request.Connection = texts::ConnectionValue;
    request.Agent = DownInfo.Agent;
    request.Reference = DownInfo.Reference;
    request.Version = THttpVersion::Http11;
    request.From.clear();
    request.IfModifiedSince = DownInfo.LastMap;
    request.FollowRelocation = true;
    request.Timeouts.ConnectMs = ConnectTimeoutMs;
    request.Timeouts.LowSpeedSeconds = LowSpeedSeconds;
    request.MaxBodyBytes = BodyLimit;

    std::int64_t announced = -1;
    std::string transferEncoding;
    std::vector<std::string> headerLines;
    std::string contentType;

    client.OnBeforeHeaderSend = [this](std::vector<std::string>& lines) {
        lines.emplace_back(texts::ExtraRequestHeader);
        if (DownInfo.Compressed) lines.emplace_back(texts::AcceptGzipHeader);
    };
    const bool informSize = DownInfo.InformSize && DownInfo.ProgrForm;
    auto postProgress = [this](std::int64_t count, std::intptr_t kind) {
        PostMessage(DownInfo.ProgrForm, static_cast<int>(DownInfo.ProgrMsg),
                    static_cast<std::uint32_t>(count), kind);
    };
    // The received count last posted (-1: none yet) and when.
    std::int64_t received = 0, posted = -1;
    std::chrono::steady_clock::time_point postedAt;

    client.OnDocBegin = [&](const THttpDocInfo& doc) {
        announced = doc.ContentLength;
        transferEncoding = LowerAscii(doc.TransferEncoding);
        headerLines = doc.HeaderLines;
        contentType = doc.ContentType;
        if (informSize) postProgress(doc.ContentLength, LpProgressLength);
        // A body of unknown length is never written: such a transfer fails in the end, at the
        // latest when it passes the body limit.
        if (!client.HasBodySink() && transferEncoding != texts::ChunkedToken && announced >= 0)
            client.CreateBodyFile(DownInfo.FileName, BodyLimit);
    };
    client.OnDocData = [&](const char*, std::size_t, std::int64_t count) {
        received = count;
        const auto now = std::chrono::steady_clock::now();
        if (!informSize ||
            (posted >= 0 && now - postedAt < std::chrono::milliseconds(ProgressIntervalMs)))
            return;
        postProgress(received, LpProgressReceived);
        posted = received;
        postedAt = now;
    };
    client.OnDocEnd = [&] {
        if (informSize && posted >= 0 && received != posted)
            postProgress(received, LpProgressReceived);
        DownInfo.Compressed = false;
        if (transferEncoding != texts::ChunkedToken && announced >= 0) Working = false;
        if (!client.HasBodySink()) return;
        if (!Working) {
            for (const std::string& line : headerLines) {
                if (!StartsWithNoCase(line, texts::ContentEncodingHeader)) continue;
                if (LowerAscii(line).find(texts::GzipToken) != std::string::npos)
                    DownInfo.Compressed = true;
                break;
            }
        }
        client.CloseBodySink();
    };
    client.OnSessionClosed = [this] { Working = false; };
    client.OnRequestDone = [&](int transportError, int status) {
        Working = false;
        if (transportError == HttpErrBodyTooLarge) {
            FError = ErrNoBody; // a body beyond the limit is no usable picture
        } else if (transportError != 0) {
            FError = ErrTransport;
        } else if (status >= 200 && status <= 299) {
            if (!FileExists(DownInfo.FileName) || FileSize(DownInfo.FileName) <= 0) {
                FError = ErrNoBody;
                return;
            }
            const std::string type = LowerAscii(contentType);
            if (type == "image/png") {
                DownInfo.ContentType = TypPng;
            } else if (type == "image/jpeg") {
                DownInfo.ContentType = IsCompleteJpeg(DownInfo.FileName) ? TypJpg : TypUnk;
            } else {
                DownInfo.ContentType = TypUnk;
                std::remove(DownInfo.FileName.c_str());
            }
            if (DownInfo.ContentType == TypUnk) {
                FError = ErrNoBody;
                return;
            }
            FError = ErrNone;
            const TPictureDate date = PictureDateFromHeaders(headerLines, UtcNowDateTime());
            DownInfo.LastMap = date.DateTime;
            DownInfo.DateFromServer = date.FromServer;
        } else if (status == 304) {
            FError = ErrNone;
            DownInfo.Compressed = false;
        } else if (status >= 300 && status <= 399) {
            FError = ErrNoBody; // a redirect that was not followed brings no picture
        } else {
            FError = ErrStatus;
        }
    };

    if (!client.GetAsync()) {
        FError = ErrNoBody;
    } else {
        while (Working && client.Busy()) {
            client.Step(10);
            if (Terminated()) {
                if (client.Busy()) client.Abort();
                FError = ErrNoBody;
                break;
            }
        }
    }
    client.CloseBodySink();

    // Make sure what is reported as a picture really is one, after undoing a gzip coding.
    if (FError == ErrNone && DownInfo.ContentType != TypUnk && FileExists(DownInfo.FileName)) {
        if (DownInfo.Compressed) {
            const std::string plain = MakeTempFileName(FolderOf(DownInfo.FileName));
            const bool ok =
                !plain.empty() && InflateGzipFile(DownInfo.FileName, plain, InflateLimit);
            std::remove(DownInfo.FileName.c_str());
            if (ok) {
                DownInfo.FileName = plain;
            } else {
                if (!plain.empty()) std::remove(plain.c_str());
                FError = ErrNoBody;
            }
            DownInfo.Compressed = false;
        }
        if (FError == ErrNone && !IsUsablePicture(DownInfo.FileName, DownInfo.ContentType))
            FError = ErrNoBody;
    }
    if (FError != ErrNone && FileExists(DownInfo.FileName)) std::remove(DownInfo.FileName.c_str());
    // A 304 answer may still have left an empty body file behind.
    if (FError == ErrNone && DownInfo.ContentType == TypUnk && FileExists(DownInfo.FileName))
        std::remove(DownInfo.FileName.c_str());

    if (DownResults) {
        if (Synchronizer) {
            Synchronizer->Synchronize([this] { DownResults(*this); });
        } else {
            DownResults(*this);
        }
    }
}

bool InflateGzipFile(const std::string& from, const std::string& to, std::int64_t limit) {
    TFile in = TFile::OpenForReading(from);
    if (!in.IsOpen()) return false;
    TFile out = OpenTempFileForWriting(to);
    if (!out.IsOpen()) return false;
    z_stream z{};
    bool ok = inflateInit2(&z, 15 + 16) == Z_OK; // 16: gzip wrapper with trailer check
    std::vector<unsigned char> inBuf(1 << 16), outBuf(1 << 17);
    std::int64_t written = 0;
    int rc = Z_OK;
    bool streamEnd = false;
    while (ok && !streamEnd) {
        const long long got = in.Read(inBuf.data(), inBuf.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break; // ended before the stream did: damaged
        z.next_in = inBuf.data();
        z.avail_in = static_cast<uInt>(got);
        while (ok && z.avail_in > 0) {
            z.next_out = outBuf.data();
            z.avail_out = static_cast<uInt>(outBuf.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                ok = false;
                break;
            }
            const std::size_t produced = outBuf.size() - z.avail_out;
            written += static_cast<std::int64_t>(produced);
            if (written > limit) {
                ok = false;
                break;
            }
            if (produced > 0 && !out.WriteAll(outBuf.data(), produced)) {
                ok = false;
                break;
            }
            if (rc == Z_STREAM_END) {
                // A further gzip member may follow; anything else after the end is ignored.
                if (z.avail_in >= 2 && z.next_in[0] == 0x1f && z.next_in[1] == 0x8b) {
                    inflateReset(&z);
                    continue;
                }
                streamEnd = true;
                break;
            }
            if (rc == Z_BUF_ERROR && produced == 0) break; // needs more input
        }
    }
    inflateEnd(&z);
    in.Close();
    const bool closed = out.Close();
    ok = ok && streamEnd && written > 0 && closed;
    if (!ok) std::remove(to.c_str());
    return ok;
}

TDownInfo MakeDownInfo(const TMap& server, const TProxy& proxy, double lastMap,
                       const std::string& fileName, QObject* progressTarget) {
    TDownInfo info;
    info.Act = ActGetMap;
    info.Url = server.Url;
    info.Agent = texts::DownloadAgent;
    info.Reference = server.Url;
    info.FileName = fileName;
    info.InformSize = true;
    info.Compressed = true;
    info.ProgrMsg = UM_PROGRESS;
    info.ProgrForm = progressTarget;
    info.ProxyInfo = proxy;
    info.LastMap = lastMap;
    return info;
}

TDownOutcome DownResults(const TDownThread& thread, TAct act, TMapInfo& mapInfo,
                         const std::string& pictureInHand) {
    TDownOutcome outcome;
    const TDownInfo& info = thread.DownInfo;
    if (thread.ThError() == ErrNone) {
        if (info.Act == ActGetMap && act != ActNone) {
            // Without a server date only the bytes tell whether the picture is the one in hand.
            const bool isNew =
                info.DateFromServer
                    ? mapInfo.LastMap.DateTime != info.LastMap
                    : pictureInHand.empty() || !SameFileContents(info.FileName, pictureInHand);
            if (isNew && info.ContentType != TypUnk) {
                outcome.PreviousDate = mapInfo.LastMap;
                mapInfo.LastMap = TDateTimeZ{thread.DownInfo.LastMap, 0, true};
                outcome.NewPicture = true;
                outcome.Type = thread.DownInfo.ContentType;
                outcome.StatusText = texts::DownloadCompleteText;
            } else {
                outcome.StatusText = texts::NoNewerPictureText;
            }
        }
    } else if (act != ActNone) {
        switch (thread.ThError()) {
        case ErrNoBody:
            outcome.StatusText = "Error: Cannot download data";
            break;
        case ErrStatus:
            outcome.StatusText = "Error: Service unavailable";
            break;
        default:
            outcome.StatusText = "Error: Connection failed";
            outcome.ConnectionFailed = true;
            break;
        }
        outcome.ShowHints = true;
    }
    if (!outcome.NewPicture) ForgetDownloadLabels(mapInfo);
    return outcome;
}

std::pair<std::string, std::string> ErrorHintLines(bool connectionFailed,
                                                   const std::string& settingsFile) {
    std::string second = texts::ErrorHintText2;
    if (connectionFailed)
        second += texts::ProxyHintText + Utf8ToCp1252(settingsFile.substr(FolderOf(settingsFile).size()));
    return {texts::ErrorHintText, second};
}

} // namespace nimbora
