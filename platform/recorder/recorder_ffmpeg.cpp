// The recorder module (recorder.h, recorder_module.h) on FFmpeg's libraries: libavcodec
// encodes, libavformat writes the container through our own output on a file made by the
// capture's rules (platform/os/files.h, built into the module), libswresample turns the sound
// into the encoder's samples. Loaded by the display library only when a recording is asked for.
//
// Decisions:
// - The console's pixels come converted by the display library into 32-bit pixels (blue,
//   green, red, unused). The lossless .mkv stores exactly those, each repeated `scale` times
//   across and down (the nearest-neighbour enlargement by a whole number), which are the pixels
//   the capture saves. For .mp4 and .webm each console pixel is converted to 4:2:0 YUV (BT.601,
//   limited range, tagged so) once and repeated, which costs a sixteenth of converting the
//   enlarged picture.
// - The encoders are set for speed on a picture of large flat areas: H.264 "ultrafast" at
//   constant quality 18, VP9 realtime at constant quality 32 (bench/RESULTS.md).
// - The lossless file is the same bytes for the same frames and sound: the container and both
//   encoders run bit-exact, with no time or version written.
// - Sound is pulled at its own rate (44.1 kHz, 16-bit stereo); FLAC takes it as it is, AAC as
//   floats, Opus resampled to 48 kHz. What an encoder needs in whole frames waits in a FIFO of
//   at most one encoder frame, so memory stays flat however long the recording.
// - Nothing is kept per frame: one picture, one encoder frame of each kind.
// - No exception leaves the module: every entry catches what its work throws and says it as
//   text (recorder_module.h).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/os/files.h"
#include "platform/recorder/recorder_module.h"

namespace display {
namespace {

constexpr int sound_rate = 44100;  // what the offline render gives, and the silent track's
constexpr long long progress_interval_ns = 250000000;

long long now_nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What a recording was asked for, kept from the request
struct RecordSettings {
    std::string path;
    int fps = 60;
    long long frames = -1;
};

// How the module reaches its host: the reason of a failure, the program's sound
struct Host {
    void (*say)(void* context, const char* text);
    void* say_context;
    const trelk_offline_sound* (*sound_offered)(void);
    void (*set_recording)(int recording);
};

// A failure inside the recorder; each entry hands it to the host as text
struct Failure {
    std::string message;
};

#if defined(__GNUC__)
[[noreturn]] void refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif
[[noreturn]] void refuse(const char* format, ...) {
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string message(std::size_t(length > 0 ? length : 0) + 1, '\0');
    std::vsnprintf(&message[0], message.size(), format, again);
    va_end(again);
    message.pop_back();
    throw Failure{message};
}

std::string av_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Container {
    const char* extension;
    const char* muxer;
    const char* video_codec;
    AVPixelFormat pixels;
    const char* audio_codec;
    AVSampleFormat samples;
    int audio_rate;
    // The most pixels a picture may have: the encoder's memory grows with them, about 25 bytes
    // a pixel for H.264, 35 for H.264 in RGB and 75 for VP9 (measured: docs/reliability.md),
    // and these keep a recording within about 512 MB
    long long max_pixels;
};

const Container containers[] = {
    {".mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, "aac", AV_SAMPLE_FMT_FLTP, 44100, 17000000},
    {".webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "libopus", AV_SAMPLE_FMT_FLT, 48000,
     6000000},
    {".mkv", "matroska", "libx264rgb", AV_PIX_FMT_BGR0, "flac", AV_SAMPLE_FMT_S16, 44100, 12000000},
};

const Container* container_for(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    std::string extension = path.substr(dot);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const Container& c : containers) {
        if (extension == c.extension) return &c;
    }
    return nullptr;
}

// BT.601, limited range, from 8-bit red, green and blue (the offsets keep every sum positive)
inline uint8_t luma(int r, int g, int b) {
    return uint8_t(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline uint8_t blue_difference(int r, int g, int b) {
    return uint8_t((-38 * r - 74 * g + 112 * b + 32896) >> 8);
}
inline uint8_t red_difference(int r, int g, int b) {
    return uint8_t((112 * r - 94 * g - 18 * b + 32896) >> 8);
}

// Pixels of 32 bits (blue, green, red, unused) enlarged `scale` times into the three planes of
// 4:2:0 YUV (the enlarged size is even). Each colour is converted once per console pixel and
// repeated; a chroma sample takes the mean of the four video pixels it covers, which with an
// even scale all come from one console pixel.
void enlarge_to_yuv420(const uint8_t* bgr0, int width, int height, int scale, AVFrame* picture) {
    const std::size_t video_width = std::size_t(width) * std::size_t(scale);
    if (scale % 2 == 0) {
        // Each console pixel is scale x scale luma samples and (scale / 2) x (scale / 2) chroma
        // samples of its own colour: one row of each made, then repeated down
        const std::size_t half = std::size_t(scale / 2);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = bgr0 + std::size_t(y) * std::size_t(width) * 4;
            uint8_t* luma_row =
                picture->data[0] + std::size_t(y * scale) * std::size_t(picture->linesize[0]);
            uint8_t* u_row =
                picture->data[1] + std::size_t(y) * half * std::size_t(picture->linesize[1]);
            uint8_t* v_row =
                picture->data[2] + std::size_t(y) * half * std::size_t(picture->linesize[2]);
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = row + std::size_t(x) * 4;
                const uint8_t l = luma(p[2], p[1], p[0]);
                const uint8_t u = blue_difference(p[2], p[1], p[0]);
                const uint8_t v = red_difference(p[2], p[1], p[0]);
                uint8_t* at = luma_row + std::size_t(x) * std::size_t(scale);
                for (std::size_t k = 0; k < half; ++k) {
                    at[2 * k] = l;
                    at[2 * k + 1] = l;
                    u_row[std::size_t(x) * half + k] = u;
                    v_row[std::size_t(x) * half + k] = v;
                }
            }
            for (int k = 1; k < scale; ++k)
                std::memcpy(luma_row + std::size_t(k) * std::size_t(picture->linesize[0]), luma_row,
                            video_width);
            for (std::size_t k = 1; k < half; ++k) {
                std::memcpy(u_row + k * std::size_t(picture->linesize[1]), u_row, video_width / 2);
                std::memcpy(v_row + k * std::size_t(picture->linesize[2]), v_row, video_width / 2);
            }
        }
        return;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bgr0 + std::size_t(y) * std::size_t(width) * 4;
        uint8_t* first =
            picture->data[0] + std::size_t(y * scale) * std::size_t(picture->linesize[0]);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + std::size_t(x) * 4;
            std::memset(first + std::size_t(x * scale), luma(p[2], p[1], p[0]), std::size_t(scale));
        }
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + std::size_t(k) * std::size_t(picture->linesize[0]), first,
                        video_width);
    }
    const int chroma_width = width * scale / 2, chroma_height = height * scale / 2;
    for (int cy = 0; cy < chroma_height; ++cy) {
        uint8_t* u = picture->data[1] + std::size_t(cy) * std::size_t(picture->linesize[1]);
        uint8_t* v = picture->data[2] + std::size_t(cy) * std::size_t(picture->linesize[2]);
        if (scale % 2 == 0 && cy % (scale / 2) != 0) {  // the same console row as the one above
            std::memcpy(u, u - picture->linesize[1], std::size_t(chroma_width));
            std::memcpy(v, v - picture->linesize[2], std::size_t(chroma_width));
            continue;
        }
        const uint8_t* top = bgr0 + std::size_t(2 * cy / scale) * std::size_t(width) * 4;
        const uint8_t* bottom = bgr0 + std::size_t((2 * cy + 1) / scale) * std::size_t(width) * 4;
        for (int cx = 0; cx < chroma_width; ++cx) {
            const std::size_t left = std::size_t(2 * cx / scale) * 4;
            const std::size_t right = std::size_t((2 * cx + 1) / scale) * 4;
            int sum[3];
            for (int c = 0; c < 3; ++c)
                sum[c] = (top[left + std::size_t(c)] + top[right + std::size_t(c)] +
                          bottom[left + std::size_t(c)] + bottom[right + std::size_t(c)] + 2) /
                         4;
            u[cx] = blue_difference(sum[2], sum[1], sum[0]);
            v[cx] = red_difference(sum[2], sum[1], sum[0]);
        }
    }
}

// Pixels of 32 bits, each repeated `scale` times across and down
void enlarge(const std::uint8_t* pixels, int pitch, int width, int height, int scale,
             std::uint8_t* out, int out_pitch) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + std::size_t(y) * std::size_t(pitch);
        std::uint8_t* first = out + std::size_t(y * scale) * std::size_t(out_pitch);
        if (scale == 1) {
            std::memcpy(first, row, std::size_t(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < scale; ++k)
                std::memcpy(first + (std::size_t(x) * std::size_t(scale) + std::size_t(k)) * 4,
                            row + std::size_t(x) * 4, 4);
        }
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + std::size_t(k) * std::size_t(out_pitch), first,
                        std::size_t(width) * std::size_t(scale) * 4);
    }
}

// The encoders' and writers' state; freed in the destructor whatever was made
class FfmpegRecorder {
public:
    FfmpegRecorder(const RecordSettings& settings, const Host& host, const Container& container,
                   int width, int height, int scale)
        : settings_(settings),
          host_(host),
          container_(container),
          width_(width),
          height_(height),
          scale_(scale) {}
    FfmpegRecorder(const FfmpegRecorder&) = delete;
    FfmpegRecorder& operator=(const FfmpegRecorder&) = delete;

    // An unfinished file of ours goes with file_
    ~FfmpegRecorder() {
        release();
        host_.set_recording(0);
    }

    const Host& host() const { return host_; }

    // Checks the target, makes our file and starts the encoders; throws Failure when it cannot
    void prepare() {
        std::string reason;
        if (!file_.create(settings_.path.c_str(), &reason))
            refuse("TRELK_RECORD=%s: refused: %s", settings_.path.c_str(), reason.c_str());
        open_encoders();
        host_.set_recording(1);
        progress_ = isatty(2) == 1;
        started_ns_ = now_nanoseconds();
    }

    // Throws Failure when the frame cannot be added; the recording is then abandoned
    void add(const std::uint8_t* pixels, int pitch) {
        if (failed_) refuse("TRELK_RECORD: the recording has already failed");
        failed_ = true;  // until this frame is in
        try {
            if (frames_ == 0) first_frame();
            add_sound();
            add_picture(pixels, pitch);
        } catch (...) {
            clear_progress();
            throw;
        }
        ++frames_;
        show_progress();
        failed_ = false;
    }

    bool complete() const { return wanted_ >= 0 && frames_ >= wanted_; }

    // Throws Failure when the file cannot be ended and saved; our file is then removed
    void finish() {
        if (finished_) return;
        finished_ = true;
        if (frames_ == 0 || failed_) return;  // nothing to write; our file goes
        clear_progress();
        end_file();
        std::string reason;
        if (!file_.commit(&reason))
            refuse("TRELK_RECORD: cannot save %s: %s", settings_.path.c_str(), reason.c_str());
    }

private:
    // ---- the file ----

    static int write_out(void* opaque, uint8_t* data, int size) {
        auto* self = static_cast<FfmpegRecorder*>(opaque);
        if (size <= 0) return 0;
        if (!self->file_.write(data, std::size_t(size), &self->write_error_)) return AVERROR(EIO);
        return size;
    }

    static int64_t seek_out(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<FfmpegRecorder*>(opaque);
        const long long at = whence == AVSEEK_SIZE
                                 ? self->file_.size()
                                 : self->file_.seek(offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : int64_t(at);
    }

    // Fails with what went wrong: a write's own error (a full disk) before the library's code
    [[noreturn]] void fail_with(const char* doing, int code) {
        const std::string why = !write_error_.empty() ? write_error_ : av_text(code);
        refuse("TRELK_RECORD: cannot %s %s: %s", doing, settings_.path.c_str(), why.c_str());
    }

    void check(int code, const char* doing) {
        if (code < 0) fail_with(doing, code);
    }

    // ---- opening ----

    AVCodecContext* open_codec(const char* name, AVMediaType type) {
        const AVCodec* codec = avcodec_find_encoder_by_name(name);
        if (!codec || codec->type != type)
            refuse("TRELK_RECORD=%s: this build's libavcodec has no %s encoder",
                   settings_.path.c_str(), name);
        AVCodecContext* context = avcodec_alloc_context3(codec);
        if (!context) throw std::bad_alloc();
        return context;
    }

    void open_encoders() {
        const int video_width = width_ * scale_, video_height = height_ * scale_;
        check(avformat_alloc_output_context2(&format_, nullptr, container_.muxer, nullptr),
              "start");
        format_->flags |= AVFMT_FLAG_BITEXACT;
        // The index at the front is written by reading the file back by its name
        format_->url = av_strdup(("file:" + file_.path()).c_str());
        if (!format_->url) throw std::bad_alloc();

        // The picture
        video_ = open_codec(container_.video_codec, AVMEDIA_TYPE_VIDEO);
        video_->width = video_width;
        video_->height = video_height;
        video_->pix_fmt = container_.pixels;
        video_->time_base = AVRational{1, settings_.fps};
        video_->framerate = AVRational{settings_.fps, 1};
        video_->sample_aspect_ratio = AVRational{1, 1};
        video_->flags |= AV_CODEC_FLAG_BITEXACT;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (container_.pixels == AV_PIX_FMT_YUV420P) {
            video_->color_range = AVCOL_RANGE_MPEG;
            video_->colorspace = AVCOL_SPC_SMPTE170M;
            video_->color_primaries = AVCOL_PRI_SMPTE170M;
            video_->color_trc = AVCOL_TRC_SMPTE170M;
            video_->gop_size = settings_.fps * 2;
        }
        if (std::strcmp(container_.video_codec, "libx264") == 0) {
            av_dict_set(&options, "preset", "ultrafast", 0);
            av_dict_set(&options, "crf", "18", 0);
            // Two threads, as for the other encoders: left to itself x264 takes a number from
            // the processor count, which is written into the stream, so the bytes of a
            // recording would depend on the machine
            av_dict_set(&options, "threads", "2", 0);
        } else if (std::strcmp(container_.video_codec, "libvpx-vp9") == 0) {
            video_->bit_rate = 0;
            av_dict_set(&options, "crf", "32", 0);
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
            av_dict_set(&options, "row-mt", "1", 0);
            av_dict_set(&options, "threads", "2", 0);
            // No frames held back to look ahead (the real-time deadline uses none): 60 MiB
            // less of libvpx's buffers at 1280x800, the same stream
            av_dict_set(&options, "lag-in-frames", "0", 0);
        } else {  // libx264rgb, lossless: H.264 in RGB at quantiser 0, the pixels exactly
            // (FFV1 took 13 ms and 216 MiB a frame at 1280x800, four times x264's time)
            av_dict_set(&options, "preset", "ultrafast", 0);
            av_dict_set(&options, "qp", "0", 0);
            av_dict_set(&options, "threads", "2", 0);
        }
        const int opened = avcodec_open2(video_, video_->codec, &options);
        av_dict_free(&options);
        if (opened < 0)
            refuse("TRELK_RECORD=%s: the %s encoder refuses %dx%d pixels: %s",
                   settings_.path.c_str(), container_.video_codec, video_width, video_height,
                   av_text(opened).c_str());
        AVStream* video_stream = avformat_new_stream(format_, nullptr);
        if (!video_stream) throw std::bad_alloc();
        check(avcodec_parameters_from_context(video_stream->codecpar, video_), "start");
        video_stream->time_base = video_->time_base;
        video_stream->avg_frame_rate = video_->framerate;
        video_index_ = video_stream->index;

        // The sound
        audio_ = open_codec(container_.audio_codec, AVMEDIA_TYPE_AUDIO);
        audio_->sample_rate = container_.audio_rate;
        audio_->sample_fmt = container_.samples;
        av_channel_layout_default(&audio_->ch_layout, 2);
        audio_->time_base = AVRational{1, container_.audio_rate};
        audio_->flags |= AV_CODEC_FLAG_BITEXACT;
        if (std::strcmp(container_.audio_codec, "flac") != 0) audio_->bit_rate = 160000;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int audio_opened = avcodec_open2(audio_, audio_->codec, nullptr);
        if (audio_opened < 0)
            refuse("TRELK_RECORD=%s: the %s encoder cannot start: %s", settings_.path.c_str(),
                   container_.audio_codec, av_text(audio_opened).c_str());
        AVStream* audio_stream = avformat_new_stream(format_, nullptr);
        if (!audio_stream) throw std::bad_alloc();
        check(avcodec_parameters_from_context(audio_stream->codecpar, audio_), "start");
        audio_stream->time_base = audio_->time_base;
        audio_index_ = audio_stream->index;

        // Sound converted when the encoder takes other samples or another rate
        if (container_.samples != AV_SAMPLE_FMT_S16 || container_.audio_rate != sound_rate) {
            AVChannelLayout stereo;
            av_channel_layout_default(&stereo, 2);
            check(
                swr_alloc_set_opts2(&resampler_, &stereo, container_.samples, container_.audio_rate,
                                    &stereo, AV_SAMPLE_FMT_S16, sound_rate, 0, nullptr),
                "start");
            check(swr_init(resampler_), "start");
        }
        const int chunk = audio_->frame_size > 0 ? audio_->frame_size : 4096;
        fifo_ = av_audio_fifo_alloc(container_.samples, 2, chunk * 2);
        sound_frame_ = av_frame_alloc();
        picture_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!fifo_ || !sound_frame_ || !picture_ || !packet_) throw std::bad_alloc();
        sound_frame_->format = container_.samples;
        sound_frame_->sample_rate = container_.audio_rate;
        check(av_channel_layout_copy(&sound_frame_->ch_layout, &audio_->ch_layout), "start");
        sound_frame_->nb_samples = chunk;
        check(av_frame_get_buffer(sound_frame_, 0), "start");
        picture_->format = container_.pixels;
        picture_->width = video_width;
        picture_->height = video_height;
        check(av_frame_get_buffer(picture_, 0), "start");
        scaled_.resize(std::size_t(width_) * std::size_t(height_) * 4);

        // The file: our own output on our new file
        unsigned char* buffer = static_cast<unsigned char*>(av_malloc(1 << 16));
        if (!buffer) throw std::bad_alloc();
        io_ = avio_alloc_context(buffer, 1 << 16, 1, this, nullptr, write_out, seek_out);
        if (!io_) {
            av_free(buffer);
            throw std::bad_alloc();
        }
        format_->pb = io_;
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVDictionary* muxing = nullptr;
        if (std::strcmp(container_.muxer, "mp4") == 0)
            av_dict_set(&muxing, "movflags", "+faststart", 0);
        const int header = avformat_write_header(format_, &muxing);
        av_dict_free(&muxing);
        check(header, "write");
    }

    void release() {
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
        if (format_) {
            av_freep(&format_->url);
            avformat_free_context(format_);
            format_ = nullptr;
        }
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
        swr_free(&resampler_);
        if (fifo_) av_audio_fifo_free(fifo_);
        fifo_ = nullptr;
        av_frame_free(&sound_frame_);
        av_frame_free(&picture_);
        av_packet_free(&packet_);
    }

    // ---- frames ----

    void first_frame() {
        sound_ = host_.sound_offered();
        if (sound_) {
            if (sound_->rate != sound_rate)
                refuse("TRELK_RECORD: the music is made at %d Hz; the recorder takes %d Hz",
                       sound_->rate, sound_rate);
            sound_->take_over();
        }
        wanted_ = settings_.frames;
        if (wanted_ < 0) {
            const long long pass = sound_ ? sound_->pass_length() : -1;
            if (pass <= 0)
                refuse(
                    "TRELK_RECORD: no music plays to give the video its length: set "
                    "TRELK_FRAMES");
            // To the next frame boundary at or after the music's end
            wanted_ = (pass * settings_.fps + sound_rate - 1) / sound_rate;
        }
    }

    // The sound of frame n: samples from n / fps to (n + 1) / fps seconds
    void add_sound() {
        const long long from = frames_ * sound_rate / settings_.fps;
        const long long to = (frames_ + 1) * sound_rate / settings_.fps;
        const int count = int(to - from);
        samples_.assign(std::size_t(count) * 2, 0);
        if (sound_ && count > 0) sound_->render(samples_.data(), count);
        feed_sound(samples_.data(), count);
    }

    void feed_sound(const std::int16_t* samples, int count) {
        if (resampler_) {
            const int room = swr_get_out_samples(resampler_, count);
            check(room, "encode the sound for");
            converted_.resize(std::size_t(room) * 2 * sizeof(float));
            // Two planes (left, right) or one of pairs, as the encoder takes them
            uint8_t* out[] = {converted_.data(),
                              converted_.data() + std::size_t(room) * sizeof(float)};
            const uint8_t* in[] = {reinterpret_cast<const uint8_t*>(samples)};
            const int made = swr_convert(resampler_, out, room, samples ? in : nullptr, count);
            check(made, "encode the sound for");
            if (made > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out), made) != made)
                refuse("TRELK_RECORD: out of memory for the sound of %s", settings_.path.c_str());
        } else if (count > 0) {
            void* in[] = {const_cast<std::int16_t*>(samples)};
            if (av_audio_fifo_write(fifo_, in, count) != count)
                refuse("TRELK_RECORD: out of memory for the sound of %s", settings_.path.c_str());
        }
        drain_sound(false);
    }

    // Encodes whole encoder frames from the FIFO; at the end also the part left over
    void drain_sound(bool last) {
        const int chunk = sound_frame_->nb_samples;
        for (;;) {
            const int have = av_audio_fifo_size(fifo_);
            if (have == 0 || (have < chunk && !last)) return;
            const int take = std::min(have, chunk);
            check(av_frame_make_writable(sound_frame_), "encode the sound for");
            sound_frame_->nb_samples = take;
            if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(sound_frame_->data), take) !=
                take)
                refuse("TRELK_RECORD: lost sound while encoding %s", settings_.path.c_str());
            sound_frame_->pts = sound_pts_;
            sound_pts_ += take;
            encode(audio_, sound_frame_, audio_index_);
            sound_frame_->nb_samples = chunk;
        }
    }

    void add_picture(const std::uint8_t* pixels, int pitch) {
        check(av_frame_make_writable(picture_), "encode the picture for");
        if (container_.pixels == AV_PIX_FMT_BGR0) {
            enlarge(pixels, pitch, width_, height_, scale_, picture_->data[0],
                    picture_->linesize[0]);
        } else {
            // The rows side by side, then enlarged as YUV
            for (int y = 0; y < height_; ++y)
                std::memcpy(scaled_.data() + std::size_t(y) * std::size_t(width_) * 4,
                            pixels + std::size_t(y) * std::size_t(pitch), std::size_t(width_) * 4);
            enlarge_to_yuv420(scaled_.data(), width_, height_, scale_, picture_);
        }
        picture_->pts = frames_;
        encode(video_, picture_, video_index_);
    }

    // Sends a frame (null: the end) and writes every packet the encoder has ready
    void encode(AVCodecContext* codec, AVFrame* frame, int stream) {
        check(avcodec_send_frame(codec, frame), "encode");
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet_);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
            check(got, "encode");
            packet_->stream_index = stream;
            av_packet_rescale_ts(packet_, codec->time_base, format_->streams[stream]->time_base);
            check(av_interleaved_write_frame(format_, packet_), "write");
        }
    }

    void end_file() {
        if (resampler_) feed_sound(nullptr, 0);  // what the resampler still holds
        drain_sound(true);
        encode(audio_, nullptr, audio_index_);
        encode(video_, nullptr, video_index_);
        check(av_write_trailer(format_), "write");
        avio_flush(io_);
        check(io_->error, "write");
    }

    // The progress line's room, blank again, so that what is written next starts a clean line
    void clear_progress() {
        if (progress_) std::fprintf(stderr, "\r%-78s\r", "");
    }

    void show_progress() {
        if (!progress_) return;
        const long long now = now_nanoseconds();
        if (now - shown_ns_ < progress_interval_ns && !complete()) return;
        shown_ns_ = now;
        const double seconds = double(now - started_ns_) / 1e9;
        const double speed = seconds > 0 ? double(frames_) / seconds : 0;
        if (wanted_ > 0) {
            const double left = speed > 0 ? double(wanted_ - frames_) / speed : 0;
            std::fprintf(stderr, "\rrecording %s: %3d%%, %.0f frames/s, %.0f s left   ",
                         settings_.path.c_str(), int(frames_ * 100 / wanted_), speed, left);
        } else {
            std::fprintf(stderr, "\rrecording %s: %lld frames, %.0f frames/s   ",
                         settings_.path.c_str(), frames_, speed);
        }
        std::fflush(stderr);
    }

    RecordSettings settings_;
    Host host_;
    const Container& container_;
    int width_, height_, scale_;
    os::NewFile file_;
    std::string write_error_;  // why the file could not be written

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    int video_index_ = 0, audio_index_ = 0;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* sound_frame_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<uint8_t> scaled_;
    std::vector<std::int16_t> samples_;
    std::vector<uint8_t> converted_;

    const trelk_offline_sound* sound_ = nullptr;
    long long frames_ = 0;
    long long wanted_ = -1;
    long long sound_pts_ = 0;
    bool failed_ = false;
    bool finished_ = false;
    bool progress_ = false;
    long long started_ns_ = 0, shown_ns_ = 0;
};

// Hands a failure to the host as text; never throws
void say(const Host& host, const char* text) { host.say(host.say_context, text); }

// Runs an entry's work: true when done, false with the reason said. No exception gets past.
template <class Work>
bool guarded(const Host& host, Work&& work) {
    try {
        work();
        return true;
    } catch (const Failure& failure) {
        say(host, failure.message.c_str());
    } catch (const std::bad_alloc&) {
        say(host, "TRELK_RECORD: out of memory");
    } catch (const std::exception& e) {
        // Nothing here throws others on purpose: said as it is rather than lost
        say(host, e.what());
    } catch (...) {
        say(host, "TRELK_RECORD: the recorder failed");
    }
    return false;
}

// The largest picture, either way up: 8K, which every format takes
constexpr int largest_video_width = 7680, largest_video_height = 4320;

bool video_fits(const Container& container, long long width, long long height) {
    return std::max(width, height) <= largest_video_width &&
           std::min(width, height) <= largest_video_height &&
           width * height <= container.max_pixels;
}

// The largest whole scale whose video fits (an even one when the format needs even sides and
// the console's are not); 0 when none does
int largest_scale(const Container& container, int width, int height) {
    const bool even = container.pixels == AV_PIX_FMT_YUV420P && (width % 2 || height % 2);
    int scale = std::min(largest_video_width / std::max(width, height),
                         largest_video_height / std::min(width, height));
    while (scale > 0 &&
           (!video_fits(container, (long long)width * scale, (long long)height * scale) ||
            (even && scale % 2)))
        --scale;
    return scale;
}

std::unique_ptr<FfmpegRecorder> start_recording(const trelk_recorder_request& request,
                                                const Host& host) {
    RecordSettings settings;
    settings.path = request.path;
    settings.fps = request.fps;
    settings.frames = request.frames;
    const int width = request.width, height = request.height;
    const Container* container = container_for(settings.path);
    if (!container)
        refuse(
            "TRELK_RECORD=%s: unknown kind of video: name the file .mp4 (H.264 and AAC), .webm "
            "(VP9 and Opus) or .mkv (H.264 in RGB and FLAC, lossless)",
            settings.path.c_str());
    const int fitting = largest_scale(*container, width, height);
    // The smallest whole scale that gives at least 720 lines, or the largest that fits
    const int scale = request.scale > 0
                          ? request.scale
                          : std::max(1, std::min((720 + height - 1) / height, fitting));
    const long long video_width = (long long)width * scale,
                    video_height = (long long)height * scale;
    if (!video_fits(*container, video_width, video_height)) {
        char most[96];
        std::snprintf(
            most, sizeof most, "more than a %s recording takes (%lld pixels, %dx%d either way up)",
            container->extension, container->max_pixels, largest_video_width, largest_video_height);
        if (fitting < 1)
            refuse("TRELK_RECORD=%s: the console's %dx%d pixels are %s", settings.path.c_str(),
                   width, height, most);
        refuse(
            "TRELK_RECORD_SCALE=%d: the video would be %lldx%lld pixels, %s; the largest scale "
            "that fits is %d",
            scale, video_width, video_height, most, fitting);
    }
    const bool even = container->pixels == AV_PIX_FMT_YUV420P;  // 4:2:0 halves both sides
    if (even && (video_width % 2 || video_height % 2))
        refuse(
            "TRELK_RECORD=%s: %s needs an even width and height, and %dx%d scaled by %d is "
            "%lldx%lld: choose an even TRELK_RECORD_SCALE or .mkv",
            settings.path.c_str(), container->extension, width, height, scale, video_width,
            video_height);
    av_log_set_level(AV_LOG_ERROR);
    auto recorder =
        std::make_unique<FfmpegRecorder>(settings, host, *container, width, height, scale);
    recorder->prepare();
    return recorder;
}

}  // namespace
}  // namespace display

// ---- the entries ----

struct trelk_recording {
    std::unique_ptr<display::FfmpegRecorder> recorder;
};

namespace {

trelk_recording* recording_start(const trelk_recorder_request* request) {
    const display::Host host{request->say, request->say_context, request->sound_offered,
                             request->set_recording};
    trelk_recording* made = nullptr;
    display::guarded(host, [&] {
        auto recording = std::make_unique<trelk_recording>();
        recording->recorder = display::start_recording(*request, host);
        made = recording.release();
    });
    return made;
}

int recording_add(trelk_recording* recording, const std::uint8_t* pixels, int pitch) {
    display::FfmpegRecorder& recorder = *recording->recorder;
    return display::guarded(recorder.host(), [&] { recorder.add(pixels, pitch); }) ? 1 : 0;
}

int recording_complete(const trelk_recording* recording) {
    return recording->recorder->complete() ? 1 : 0;
}

int recording_finish(trelk_recording* recording) {
    display::FfmpegRecorder& recorder = *recording->recorder;
    return display::guarded(recorder.host(), [&] { recorder.finish(); }) ? 1 : 0;
}

void recording_end(trelk_recording* recording) { delete recording; }

const trelk_recorder_entries entries = {recording_start, recording_add, recording_complete,
                                        recording_finish, recording_end};

}  // namespace

extern "C" __attribute__((visibility("default"))) const trelk_recorder_entries*
trelk_recorder_entries_1(void) {
    return &entries;
}
