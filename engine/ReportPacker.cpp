#include "engine/ReportPacker.h"

#include <zip.h>

#include <filesystem>
#include <fstream>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

namespace orvella {
namespace {

// zlib's own default level; libzip would otherwise take the slowest, 9, which
// costs more than twice the time for some 5 % in size.
constexpr zip_uint32_t DeflateLevel = 6;

}  // namespace

// One log file as a libzip source: opened when it is added, so that a file
// that cannot be read fails AddLogs, and read piece by piece while the
// archive is written. Its size is fixed when it is added: the entry holds the
// bytes the file had at that moment, even if the monitor appends meanwhile.
struct TReportPacker::TLogSource {
  std::ifstream File;
  zip_uint64_t Size = 0;
  zip_uint64_t Left = 0;
  zip_error_t Error;

  explicit TLogSource(const std::string& APath) {
    zip_error_init(&Error);
    const std::filesystem::path path(reinterpret_cast<const char8_t*>(APath.c_str()));
    File.open(path, std::ios::binary);
    std::error_code failure;
    Size = std::filesystem::file_size(path, failure);
    if (!File || failure)
      platform::RaiseOSError(failure ? failure.value() : errno, APath);
  }
  ~TLogSource() { zip_error_fini(&Error); }

  static zip_int64_t Callback(void* ASource, void* AData, zip_uint64_t ALength, zip_source_cmd_t ACommand) {
    auto* self = static_cast<TLogSource*>(ASource);
    switch (ACommand) {
    case ZIP_SOURCE_OPEN:
      self->File.clear();
      self->File.seekg(0);
      self->Left = self->Size;
      return 0;
    case ZIP_SOURCE_READ: {
      const zip_uint64_t wanted = std::min(ALength, self->Left);
      self->File.read(static_cast<char*>(AData), static_cast<std::streamsize>(wanted));
      const auto got = static_cast<zip_uint64_t>(self->File.gcount());
      if (got < wanted && self->File.bad()) {
        zip_error_set(&self->Error, ZIP_ER_READ, EIO);
        return -1;
      }
      self->Left -= got;
      return static_cast<zip_int64_t>(got);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, AData, ALength, &self->Error);
      if (stat == nullptr)
        return -1;
      zip_stat_init(stat);
      stat->size = self->Size;
      stat->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&self->Error, AData, ALength);
    case ZIP_SOURCE_FREE:
      delete self;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
      zip_error_set(&self->Error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
    }
  }
};

void TReportPacker::TZipCloser::operator()(zip* AZip) const { zip_discard(AZip); }

TReportPacker::TReportPacker(std::shared_ptr<IMonThreadOwner> AOwner, const TLogsDir& ALogsDir,
                             const platform::IClock& AClock, const platform::ITickSource& ATicks,
                             std::string AConsoleCharset)
    : FOwner(std::move(AOwner)), FLastExitCheck(ATicks), FLogsDir(ALogsDir), FClock(AClock),
      FConsoleCharset(std::move(AConsoleCharset)) {}

TReportPacker::~TReportPacker() = default;

void TReportPacker::RaiseZipError(const std::string& AWhat) {
  const zip_error_t* error = zip_get_error(FZip.get());
  throw EOSError(zip_error_code_system(error), AWhat + ": " + zip_error_strerror(const_cast<zip_error_t*>(error)));
}

void TReportPacker::AddLogs() {
  FLogsDir.ForceExists();
  const TDateTime now = FClock.LocalNow();
  FFileName = FLogsDir.FileName(FormatFileTime(now), true, now);
  const TDateTime today = DateOf(now);

  FInProgress.emplace(FFileName);
  // A report made in the same second as the last one replaces it.
  int error = 0;
  FZip.reset(zip_open(FFileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
  if (!FZip) {
    zip_error_t details;
    zip_error_init_with_code(&details, error);
    const std::string text = zip_error_strerror(&details);
    const int code = zip_error_code_system(&details);
    zip_error_fini(&details);
    throw EOSError(code, "Cannot create " + FFileName + ": " + text);
  }
  zip_register_cancel_callback_with_state(FZip.get(), &TReportPacker::ZipCancel, nullptr, this);

  FLogsDir.EnumFiles([&](const std::string& APath, const std::string&, TDateTime ADate, bool AIsArchive) {
    if (AIsArchive || !(today - 7 < ADate && ADate <= today))
      return;
    auto source = std::make_unique<TLogSource>(APath);
    zip_source_t* zipSource = zip_source_function(FZip.get(), &TLogSource::Callback, source.get());
    if (zipSource == nullptr)
      RaiseZipError("Cannot add " + APath);
    source.release();  // the zip source frees it (ZIP_SOURCE_FREE)
    const std::string name = std::filesystem::path(APath).filename().string();
    const zip_int64_t index = zip_file_add(FZip.get(), name.c_str(), zipSource, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(zipSource);
      RaiseZipError("Cannot add " + APath);
    }
    zip_set_file_compression(FZip.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, DeflateLevel);
  });
}

void TReportPacker::FinalizeReport(std::string_view APathpingOemBytes) {
  try {
    if (!FZip)
      throw EAssertionFailed("FinalizeReport before AddLogs", "ReportPacker");
    FTrace = platform::ConsoleTextToUtf8(APathpingOemBytes, FConsoleCharset);
    const std::string base = std::filesystem::path(FFileName).stem().string();
    const std::string name = base + "_pathping";
    zip_source_t* source = zip_source_buffer(FZip.get(), FTrace.data(), FTrace.size(), 0);
    if (source == nullptr)
      RaiseZipError("Cannot add the trace");
    const zip_int64_t index = zip_file_add(FZip.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      RaiseZipError("Cannot add the trace");
    }
    zip_set_file_compression(FZip.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, DeflateLevel);
    // libzip compresses every entry here, while it writes the archive. It
    // ignores the cancel answer of its last progress event, so a termination
    // noticed there abandons the report although the archive got written.
    const bool closed = zip_close(FZip.get()) == 0;
    if (closed) {
      FZip.release();  // zip_close freed it
      // The zip writer gives the archive the umask's rights; the folder keeps
      // others out even when narrowing the file fails.
      platform::RestrictToOwner(FFileName);
    }
    if (FAborted)
      throw EAbort();
    if (!closed)
      RaiseZipError("Cannot write " + FFileName);
  } catch (const EAbort&) {
    FZip.reset();
    FFileName.clear();
  } catch (...) {
    FZip.reset();
    FFileName.clear();
    throw;
  }
}

bool TReportPacker::ZipProgress() {
  if (FLastExitCheck.TimeLeft(250) != 0)
    return false;
  FLastExitCheck.Now();
  if (FOwner->WaitSignal({sigTerminate}, 0, 0) == sigTerminate)
    FAborted = true;
  return FAborted;
}

int TReportPacker::ZipCancel(zip*, void* APacker) {
  return static_cast<TReportPacker*>(APacker)->ZipProgress() ? 1 : 0;
}

void CreateReport(const std::shared_ptr<IMonThreadOwner>& AOwner, std::string_view APathpingOemBytes,
                  const TLogsDir& ALogsDir, const platform::IClock& AClock, const platform::ITickSource& ATicks) {
  TReportPacker packer(AOwner, ALogsDir, AClock, ATicks);
  packer.AddLogs();
  packer.FinalizeReport(APathpingOemBytes);
  AOwner->ReportCreated(packer.FileName());
}

}  // namespace orvella
