#include "services/SpooledBytes.h"

#include <unistd.h>

std::shared_ptr<const SpooledBytes> SpooledBytes::Spool(const std::string& bytes)
{
    auto spooled = std::make_shared<SpooledBytes>();
    spooled->file_.reset(std::tmpfile());
    if (!spooled->file_ || std::fwrite(bytes.data(), 1, bytes.size(), spooled->file_.get()) != bytes.size()
        || std::fflush(spooled->file_.get()) != 0)
        return nullptr;
    spooled->size_ = bytes.size();
    return spooled;
}

bool SpooledBytes::Read(std::string& bytes) const
{
    bytes.resize(size_);
    // pread keeps no file position, so several readers may read at once.
    size_t done = 0;
    while (done < size_) {
        const ssize_t count = pread(fileno(file_.get()), bytes.data() + done, size_ - done, static_cast<off_t>(done));
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}
