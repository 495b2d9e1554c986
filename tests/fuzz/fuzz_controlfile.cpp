// Feeds arbitrary bytes to the control-file reader, the leading-number rule and the batch checks. The batch
// runs against an in-memory file system that holds the control file and two empty folders, so that no
// real file is ever touched.

#include "core.h"
#include "fakehost.h"
#include "faultyfilesystem.h"

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

namespace {

// The control file and two empty folders; the calls of a synchronisation are never reached, as the
// folders hold no file.
class MemoryFileSystem : public FaultyFileSystem
{
public:
    QByteArray control;

    int listFolder(const common::NativePath &folder, const common::NativePath &,
                   std::vector<common::FolderEntry> &) override
    {
        return isFolder(folder) ? 0 : common::NotFound;
    }
    int inspect(const common::NativePath &path, common::EntryInfo &info) override
    {
        if (path == "/steuer.ini")
            info = {common::EntryKind::File, 0, control.size(), 0, 0};
        else if (isFolder(path))
            info = {common::EntryKind::Folder, 0, 0, 1, quint64(path.size())};
        else
            return common::NotFound;
        return 0;
    }
    std::unique_ptr<common::InputFile> openForReading(const common::NativePath &path, int &error) override
    {
        error = path == "/steuer.ini" ? 0 : common::NotFound;
        return error ? nullptr : std::make_unique<Bytes>(control);
    }

private:
    static bool isFolder(const common::NativePath &path)
    {
        return path == "/" || path == "/L" || path == "/L/" || path == "/R" || path == "/R/";
    }
    struct Bytes : common::InputFile
    {
        explicit Bytes(QByteArray data) : data(std::move(data)) {}
        qint64 read(char *buffer, qint64 max) override
        {
            const qint64 n = qMin(max, data.size() - at);
            std::memcpy(buffer, data.constData() + at, size_t(n));
            at += n;
            return n;
        }
        qint64 size() const override { return data.size(); }
        QByteArray data;
        qint64 at = 0;
    };
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    MemoryFileSystem fs;
    fs.control = bytes;
    FakeHost host;
    host.speed = true;
    common::Core core(host, fs);
    core.RunBatchMode(QStringLiteral("/steuer.ini"));
    // A control file is refused with its problems listed, or its folders are loaded.
    const bool refused =
        !host.messages.isEmpty() && host.messages.first().text.startsWith(QStringLiteral("Sie haben Kalmora im Batch"));
    if (refused == !core.LeftPath().isEmpty())
        std::abort();
    return 0;
}
