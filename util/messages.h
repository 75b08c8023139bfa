// Every caption and text that the bootstrap shows the user, named once here.
// vcpack, which tells what the bootstrap would show, uses the same names.
#pragma once

namespace vcboot::messages {

// The archive is damaged or incomplete. The text ends with the product page
// where a user gets a complete copy again.
inline constexpr char kInvalidArchiveCaption[] = "Invalid Archive!";
inline constexpr char kInvalidArchiveText[] =
    "We are sorry, but your installation / update did not complete due to "
    "unexpected download errors.\r\nPlease download the whole Vellumcrest "
    "program from https://www.vellumcrest.com/download/";

// The pieces of kInvalidArchiveText, so that a package can name its own
// product and download address in it: start, product, middle, address.
inline constexpr char kInvalidArchiveTextStart[] =
    "We are sorry, but your installation / update did not complete due to "
    "unexpected download errors.\r\nPlease download the whole ";
inline constexpr char kProductName[] = "Vellumcrest";
inline constexpr char kInvalidArchiveTextMiddle[] = " program from ";
inline constexpr char kDownloadAddress[] =
    "https://www.vellumcrest.com/download/";

// Captions of the extraction's failures; the text names the file and the
// system's reason ("File: <path>\rError: <system text>").
inline constexpr char kFailedToOpenArchive[] = "Failed to open archive!";
inline constexpr char kFailedToInitializeArchive[] =
    "Failed to initialize archive!";
inline constexpr char kFailedToExtractFile[] = "Failed to extract file!";
inline constexpr char kFileLabel[] = "File: ";
inline constexpr char kErrorLabel[] = "\rError: ";

// Another installation holds the single-instance guard.
inline constexpr char kAlreadyRunningCaption[] = "Already Running";
inline constexpr char kAlreadyRunningText[] =
    "Another installation is already running or in the process of starting "
    "up.\nPlease wait until the other installation has completed before "
    "trying again.";

// The work folder's place.
inline constexpr char kNoTempDirectoryCaption[] = "GetTempPath failed";
inline constexpr char kNoTempDirectoryText[] =
    "Unable to get Temporary Directory";
inline constexpr char kNoWorkFolderCaption[] = "SetCurrentDirectory failed";
inline constexpr char kNoWorkFolderText[] = "Unable to set Working Directory";

// The installer's launch.
inline constexpr char kStartFailedCaption[] = "ShellExecuteEx failed";
inline constexpr char kStartFailedText[] = "Unable to spawn process";
inline constexpr char kWaitFailedCaption[] = "WaitForSingleObject failed";
inline constexpr char kWaitFailedText[] = "Unable to wait for process";
inline constexpr char kExitCodeFailedCaption[] = "GetExitCodeProcess failed";
inline constexpr char kExitCodeFailedText[] = "Unable to get process exit code";

// An exception that escaped the run. Its description is the caption and this
// the text, the other way round from every other box; an exception that
// carries no description shows kNoContextCaption instead.
inline constexpr char kUnhandledExceptionText[] = "Unhandled Exception";
inline constexpr char kNoContextCaption[] = "No context available";

}  // namespace vcboot::messages
