// Many files checked on a pool of threads.
#include "validate/check_files.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "validate/validator.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tolvane {

namespace {

#ifdef _WIN32

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole content of the file `name` (UTF-8; the system takes UTF-16)
// into `content`; the error number of the failure, or 0.
int read_file(const std::string& name, std::string& content) {
    const std::filesystem::path path(std::u8string(name.begin(), name.end()));
    const std::unique_ptr<std::FILE, CloseFile> file(_wfopen(path.c_str(), L"rb"));
    if (!file) {
        const int error = errno != 0 ? errno : ENOENT;
        std::error_code ignored;
        return std::filesystem::is_directory(path, ignored) ? EISDIR : error;  // Windows says EACCES
    }
    std::size_t chunk = std::size_t{1} << 14;
    for (;;) {
        const std::size_t used = content.size();
        content.resize(used + chunk);
        const std::size_t got = std::fread(content.data() + used, 1, chunk, file.get());
        content.resize(used + got);
        if (got < chunk) {
            break;
        }
        chunk = std::min(chunk * 2, std::size_t{1} << 24);
    }
    return std::ferror(file.get()) ? (errno != 0 ? errno : EIO) : 0;
}

#else

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The whole content of the file `name` into `content`; the error number of
// the failure, or 0. A regular file is read in one call of its size plus
// one byte (a file grown since takes more); anything else until the end its
// reads report.
int read_file(const std::string& name, std::string& content) {
    const Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return errno;
    }
    struct stat status{};
    std::size_t expected = 0;
    bool regular = false;
    if (::fstat(file.get(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return EISDIR;
        }
        regular = S_ISREG(status.st_mode);
        if (regular && status.st_size > 0) {
            expected = static_cast<std::size_t>(status.st_size);
        }
    }
    content.resize(expected + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) {
            content.resize(std::max(content.size() * 2, std::size_t{1} << 14));
        }
        const std::size_t wanted = content.size() - used;
        const ssize_t got = ::read(file.get(), content.data() + used, wanted);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            content.clear();
            return errno;
        }
        used += static_cast<std::size_t>(got);
        // A regular file reads short only at its end: no call to find it.
        if (got == 0 || (regular && static_cast<std::size_t>(got) < wanted)) {
            break;
        }
    }
    content.resize(used);
    return 0;
}

#endif

FileCheck check_one(const std::string& name, const CheckFilesOptions& options) {
    FileCheck result;
    std::string content;
    // The system would open the name up to its first NUL.
    result.read_error = name.find('\0') != std::string::npos ? EINVAL : read_file(name, content);
    if (result.read_error != 0) {
        return result;
    }
    if (options.syntax_only) {
        NcfParser parser = NcfParser::from_text(name, std::move(content), options.parse);
        parser.parse();
        result.diagnostics = parser.get_diagnostics();
        sort_by_position(result.diagnostics);
    } else {
        result.diagnostics = check_text(name, std::move(content), options.parse).diagnostics;
    }
    return result;
}

unsigned threads_for(const CheckFilesOptions& options, std::size_t files) {
    unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(files, 1)));
}

}  // namespace

std::vector<FileCheck> check_files(std::span<const std::string> filenames, const CheckFilesOptions& options) {
    std::vector<FileCheck> results(filenames.size());
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_lock;
    // Each thread takes the next file until none is left; a failure (memory)
    // stops them all and is thrown here once they have ended.
    const auto work = [&] {
        for (std::size_t i = next++; i < filenames.size(); i = next++) {
            try {
                results[i] = check_one(filenames[i], options);
            } catch (...) {
                const std::lock_guard lock(failure_lock);
                if (!failure) {
                    failure = std::current_exception();
                }
                next = filenames.size();
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        const unsigned threads = threads_for(options, filenames.size());
        for (unsigned t = 1; t < threads; ++t) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // no more threads to be had: those running do the work
            }
        }
        work();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return results;
}

}  // namespace tolvane
