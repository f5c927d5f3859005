// camsim: serves one simulated camera until interrupted.
#include <csignal>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "camsim/Camera.h"

int main(int argc, char** argv)
{
    camsim::CameraOptions options;
    options.rtspPort = 554;  // where the driver connects to a camera's RTSP server
    std::string scheme = "none";
    size_t h264FrameBytes = 0;
    CLI::App app{"Simulated Canon network camera"};
    app.set_version_flag("--version", "camsim " TALLOWCAM_VERSION);
    app.add_option("--port", options.httpPort, "HTTP port (0: a free port)")->required();
    app.add_option("--address", options.address, "address to listen on")->capture_default_str();
    app.add_option("--rtsp-port", options.rtspPort, "RTSP port (0: a free port)")->capture_default_str();
    app.add_option("--h264-frame-bytes", h264FrameBytes, "pad H.264 frames with filler data to this size");
    app.add_flag("--tls", options.tls, "serve HTTPS with a self-signed certificate");
    app.add_option("--user", options.auth.user, "user name");
    app.add_option("--password", options.auth.password, "password");
    app.add_option("--auth", scheme, "authentication: none, basic, digest or digest+basic")
        ->check(CLI::IsMember({"none", "basic", "digest", "digest+basic"}));
    app.add_option("--model", options.model.model, "model name");
    app.add_option("--firmware", options.model.firmware, "firmware text");
    CLI11_PARSE(app, argc, argv);

    if (scheme == "basic")
        options.auth.schemes = {camsim::AuthScheme::Basic};
    else if (scheme == "digest")
        options.auth.schemes = {camsim::AuthScheme::Digest};
    else if (scheme == "digest+basic")
        options.auth.schemes = {camsim::AuthScheme::Digest, camsim::AuthScheme::Basic};

    // Block the stop signals before any server thread starts, then wait for one of them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    camsim::Camera camera(options);
    camera.Streams().SetH264MinimumFrameBytes(h264FrameBytes);
    if (!camera.Start()) {
        std::fprintf(stderr, "camsim: cannot listen for %s (in use by another program, or below 1024 without root)\n",
                     camera.StartFailure().c_str());
        if (options.rtspPort == 554)
            std::fprintf(stderr, "camsim: the driver connects to RTSP port 554 only: give camsim an address of its "
                                 "own, such as --address 127.0.0.2\n");
        return 1;
    }
    std::printf("camsim: %s on %s:%u, rtsp on port %u\n", options.tls ? "https" : "http", options.address.c_str(),
                camera.HttpPort(), camera.RtspPort());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
    camera.Stop();
    std::printf("camsim: sent %zu RTP packets, %zu of them ending a frame\n", camera.Rtsp().Recorder().RtpPacketsSent(),
                camera.Rtsp().Recorder().MarkedRtpPacketsSent());
    return 0;
}
