#include "image/EwfImage.h"

#include <libewf.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>

namespace snapsift {

bool DamageMap::Overlaps(std::uint64_t offset, std::uint64_t length) const {
    if (length == 0) return false;  // no byte to lie anywhere
    const std::lock_guard lock(mutex_);
    return std::any_of(parts_.begin(), parts_.end(), [&](const auto& part) {
        return offset < part.first + part.second && part.first < offset + length;
    });
}

std::uint64_t DamageMap::Count() const {
    const std::lock_guard lock(mutex_);
    return parts_.size();
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> DamageMap::Parts() const {
    const std::lock_guard lock(mutex_);
    return parts_;
}

void DamageMap::Add(std::uint64_t offset, std::uint64_t length) {
    const std::lock_guard lock(mutex_);
    // libewf notes a chunk again when it reads it again after its cache let it go.
    if (std::find(parts_.begin(), parts_.end(), std::pair(offset, length)) == parts_.end())
        parts_.emplace_back(offset, length);
}

// What The Sleuth Kit holds: its image structure first, then the way back to us.
struct EwfImage::External {
    TSK_IMG_INFO info;
    EwfImage* owner;
};

namespace {

libewf_handle_t* Handle(void* handle) { return static_cast<libewf_handle_t*>(handle); }

std::string Lower(const std::uint8_t* text) {
    std::string lower = reinterpret_cast<const char*>(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

void ImageStat(TSK_IMG_INFO*, FILE* out) { tsk_fprintf(out, "Image Type: E01\n"); }

}  // namespace

std::unique_ptr<EwfImage> EwfImage::Open(const std::vector<std::string>& files, DamageMap& damage,
                                         std::string& problem) {
    std::unique_ptr<EwfImage> image(new EwfImage);
    image->damage_ = &damage;
    libewf_error_t* error = nullptr;
    libewf_handle_t* handle = nullptr;
    std::vector<char*> names;
    for (const std::string& file : files) names.push_back(const_cast<char*>(file.c_str()));
    size64_t size = 0;
    bool opened = libewf_handle_initialize(&handle, &error) == 1;
    image->handle_ = handle;
    opened = opened && libewf_handle_open(handle, names.data(), static_cast<int>(names.size()), LIBEWF_OPEN_READ, &error) == 1;
    opened = opened && libewf_handle_get_media_size(handle, &size, &error) == 1 &&
             libewf_handle_get_bytes_per_sector(handle, &image->bytesPerSector_, &error) == 1;
    if (!opened) {
        char text[512] = {};
        if (error != nullptr) libewf_error_sprint(error, text, sizeof text);
        std::string reason = text;
        while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back()))) reason.pop_back();
        if (error != nullptr) libewf_error_free(&error);
        problem = "Cannot read the disk image " + files.front() + (reason.empty() ? "" : ": " + reason);
        return nullptr;
    }
    image->corrupted_ = libewf_handle_segment_files_corrupted(handle, &error) != 0;
    std::uint8_t text[128] = {};
    if (libewf_handle_get_utf8_hash_value_md5(handle, text, sizeof text, &error) == 1) image->storedMd5_ = Lower(text);
    if (error != nullptr) libewf_error_free(&error);
    std::fill(std::begin(text), std::end(text), 0);
    if (libewf_handle_get_utf8_hash_value_sha1(handle, text, sizeof text, &error) == 1) image->storedSha1_ = Lower(text);
    if (error != nullptr) libewf_error_free(&error);

    auto* external = new External{};
    external->owner = image.get();
    image->tskImage_ = tsk_img_open_external(external, static_cast<TSK_OFF_T>(size), 512, ReadCallback,
                                             CloseCallback, ImageStat);
    if (image->tskImage_ == nullptr) {
        delete external;
        problem = "Cannot read the disk image " + files.front();
        tsk_error_reset();
        return nullptr;
    }
    return image;
}

EwfImage::~EwfImage() {
    libewf_error_t* error = nullptr;
    libewf_handle_t* handle = Handle(handle_);
    if (handle != nullptr) {
        libewf_handle_close(handle, &error);
        libewf_handle_free(&handle, &error);
    }
    if (error != nullptr) libewf_error_free(&error);
}

ssize_t EwfImage::ReadCallback(TSK_IMG_INFO* image, std::int64_t offset, char* buffer, std::size_t length) {
    return reinterpret_cast<External*>(image)->owner->Read(offset, buffer, length);
}

void EwfImage::CloseCallback(TSK_IMG_INFO* image) { delete reinterpret_cast<External*>(image); }

ssize_t EwfImage::Read(std::int64_t offset, char* buffer, std::size_t length) {
    const std::lock_guard lock(mutex_);
    libewf_error_t* error = nullptr;
    libewf_handle_t* handle = Handle(handle_);
    const ssize_t read = libewf_handle_read_random(handle, buffer, length, offset, &error);
    // The count is cheap; the details are asked for only when it grew.
    std::uint32_t errors = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle, &errors, &error) == 1) {
        for (; knownErrors_ < errors; ++knownErrors_) {
            std::uint64_t start = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(handle, knownErrors_, &start, &sectors, &error) == 1)
                damage_->Add(start * bytesPerSector_, sectors * bytesPerSector_);
        }
    }
    if (read < 0) {
        tsk_error_reset();
        tsk_error_set_errno(TSK_ERR_IMG_READ);
        tsk_error_set_errstr("E01 read at offset %lld", static_cast<long long>(offset));
    }
    if (error != nullptr) libewf_error_free(&error);
    return read;
}

}  // namespace snapsift
