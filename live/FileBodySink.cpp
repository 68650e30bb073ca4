#include "live/FileBodySink.h"

FileBodySink::FileBodySink(std::string path) : path_(std::move(path)) {}

FileBodySink::~FileBodySink()
{
    if (file_)
        std::fclose(file_);
}

void FileBodySink::Begin()
{
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path_.c_str(), "wb");
    failed_ = file_ == nullptr;
}

bool FileBodySink::Append(const char* data, size_t size)
{
    if (!failed_ && (!file_ || std::fwrite(data, 1, size, file_) != size))
        failed_ = true;
    return !failed_;
}

std::string FileBodySink::Reason() const { return "the answer could not be written to \"" + path_ + "\""; }

bool FileBodySink::Finish()
{
    if (file_ && std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    return !failed_;
}
