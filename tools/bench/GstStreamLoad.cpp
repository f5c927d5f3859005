// gst_stream_load: stream_load's run with GStreamer as the receiver. N
// pipelines in this one process, each
//   rtspsrc ! rtph264depay ! byte-stream access units ! fakesink
// on the camera simulator's stream: receive RTP, depayload H.264 access units
// (one buffer a frame, Annex B like the driver's frames), hand them to a sink
// that does nothing. A probe on each sink's pad counts the frames. Only the
// video track is set up, as the driver does.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <gst/gst.h>

#include "LoadRun.h"

namespace {

using namespace tallowcam_bench;

// The video stream only: the driver sets up no other track of the camera's.
gboolean SelectVideo(GstElement*, guint, GstCaps* caps, gpointer)
{
    return g_strcmp0(gst_structure_get_string(gst_caps_get_structure(caps, 0), "media"), "video") == 0;
}

struct PipelineDeleter {
    void operator()(GstElement* pipeline) const
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

class GstStream {
public:
    bool Start(const std::string& description, std::string& error)
    {
        GError* parseError = nullptr;
        m_pipeline.reset(gst_parse_launch(description.c_str(), &parseError));
        if (parseError != nullptr) {
            error = parseError->message;
            g_error_free(parseError);
            return false;
        }
        GstBus* bus = gst_element_get_bus(m_pipeline.get());
        gst_bus_set_sync_handler(bus, &GstStream::OnMessage, this, nullptr);
        gst_object_unref(bus);
        GstElement* source = gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "source");
        g_signal_connect(source, "select-stream", G_CALLBACK(SelectVideo), nullptr);
        gst_object_unref(source);
        GstElement* sink = gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "sink");
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                          &GstStream::OnBuffers, this, nullptr);
        gst_object_unref(pad);
        gst_object_unref(sink);
        m_firstFrame.Start();
        if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            error = "the pipeline did not start";
            return false;
        }
        return true;
    }
    StreamCounts Counts() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return {m_frames, m_bytes, m_firstFrame.Milliseconds(), m_failure};
    }

private:
    static GstPadProbeReturn OnBuffers(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        auto* self = static_cast<GstStream*>(data);
        self->m_firstFrame.OnFrame();
        std::lock_guard<std::mutex> guard(self->m_mutex);
        if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
            self->m_frames += 1;
            self->m_bytes += gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info));
        } else {
            GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
            self->m_frames += gst_buffer_list_length(list);
            self->m_bytes += gst_buffer_list_calculate_size(list);
        }
        return GST_PAD_PROBE_OK;
    }
    // Keeps the first error; no message stays on the bus.
    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data)
    {
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            auto* self = static_cast<GstStream*>(data);
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            std::lock_guard<std::mutex> guard(self->m_mutex);
            if (self->m_failure.empty())
                self->m_failure = std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ": " + error->message;
            g_error_free(error);
        }
        return GST_BUS_DROP;
    }

    mutable std::mutex m_mutex;
    uint64_t m_frames = 0;
    uint64_t m_bytes = 0;
    std::string m_failure;
    FirstFrameClock m_firstFrame;
    std::unique_ptr<GstElement, PipelineDeleter> m_pipeline;  // last: stops first, before the counters go
};

class GstReceiver final : public LoadReceiver {
public:
    GstReceiver(const LoadOptions& options, unsigned latencyMs)
        : m_description("rtspsrc name=source location=rtsp://127.0.0.1:554/rtpstream/config5=u protocols=" +
                        std::string(options.transport == LoadTransport::Udp ? "udp" : "tcp") +
                        " latency=" + std::to_string(latencyMs) +
                        " ! rtph264depay ! video/x-h264,stream-format=byte-stream,alignment=au"
                        " ! fakesink name=sink sync=false")
    {
    }

    // Loads the plug-ins before the memory is measured, as stream_load loads the driver first.
    bool Prepare(uint16_t, std::string& error) override
    {
        for (const char* name : {"coreelements", "rtsp", "rtp", "rtpmanager", "udp"}) {
            GstPlugin* plugin = gst_plugin_load_by_name(name);
            if (plugin == nullptr) {
                error = std::string("no GStreamer plug-in ") + name;
                return false;
            }
            gst_object_unref(plugin);
        }
        return true;
    }
    bool StartStream(std::string& error) override
    {
        m_streams.push_back(std::make_unique<GstStream>());
        return m_streams.back()->Start(m_description, error);
    }
    std::vector<StreamCounts> Counts() const override
    {
        std::vector<StreamCounts> counts;
        for (const auto& stream : m_streams)
            counts.push_back(stream->Counts());
        return counts;
    }
    void StopStreams() override { m_streams.clear(); }

private:
    std::string m_description;
    std::vector<std::unique_ptr<GstStream>> m_streams;
};

}  // namespace

int main(int argc, char** argv)
{
    LoadOptions options;
    unsigned latencyMs = 0;
    CLI::App app{"Streams N pipelines from the camera simulator through GStreamer's rtspsrc"};
    AddLoadOptions(app, options);
    app.add_option("--latency", latencyMs, "rtspsrc's jitter buffer latency in ms")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    gst_init(nullptr, nullptr);
    GstReceiver receiver(options, latencyMs);
    return RunLoad(options, "GStreamer", receiver);
}
