// TMainForm: the program's only window. It owns the disk model, the workflows
// and the widgets; every handler is a plain method so native tests can drive it.
#pragma once

#include <string>
#include <vector>

#include "disk/disk.h"
#include "platform/os.h"
#include "widgets/widgets.h"

class TExecuteProgram;

class TMainForm : public TForm {
 public:
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 349;

  TMainForm();
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  void FormCreate() {}
  void FormClose() {}
  void FormDestroy();
  // Releases the process-wide services in a fixed order.
  void ReleaseServices();

  bool DebugMode = false;
  bool UseIo = false;
  bool CanResize = false;
  std::string ExePath;         // the executable's directory, with its trailing backslash
  std::string TempDir;         // as GetTempPathA returned it
  std::string ScriptFileName;  // TempDir\DPINPUT.TXT
  uint32_t PhysicalMemorySize = 0;  // MB

  // ---- the program runner ----
  // Starts commandLine on a worker thread; ExecuteStatus becomes 1 now and 2
  // when the run has ended, on the GUI thread.
  void StartExecuteProgram(const std::string& commandLine);
  void ExecuteProgramTerminate();
  int32_t ExecuteStatus = 0;  // 0 idle, 1 running, 2 ended
  int32_t ExecuteResult = 0;  // the last run's exit code, read once ExecuteStatus is 2
  TRichEdit ConsoleRichEdit;  // hidden; receives the runs' output

  // ---- diskpart scripts ----
  void CreateRapidStartPart(int32_t diskNum, uint32_t sizeInMB, bool primary, int32_t partitionStyle);
  void DeleteRapidStartPart(int32_t diskNum, int32_t partNum, int32_t partitionStyle);
  void ShrinkPart(int32_t diskNum, int32_t partNum, uint32_t desiredInMB);
  void ExtendPart(int32_t diskNum, int32_t partNum, uint32_t sizeInMB);  // 0: all adjacent free space
  void SetRapidStartPartId(int32_t diskNum, int32_t partNum, int32_t partitionStyle);
  // Writes DiskPartScript to ScriptFileName, starts diskpart on it, clears it.
  void CallDiskPart();
  // The command line that runs the script on this system.
  std::string DiskPartCommandLine() const;
  std::vector<std::string> DiskPartScript;

  // ---- disk model ----
  // Rebuilds DiskInfo/DiskCount from the drivers and logs the disk block; always true.
  bool ScanDisks();
  // Sets the Rapid Start indices to the first Rapid Start partition in disk,
  // then partition, order; true when one was found.
  bool FindRapidStartPart();
  _DiskInfo DiskInfo[kMaxDisks] = {};
  int32_t DiskCount = 0;
  int32_t DiskIndex = 0;  // positions in DiskInfo, never drive numbers; -1: none
  int32_t PartIndex = -1;
  int32_t RapidStartDiskIndex = -1;
  int32_t RapidStartPartIndex = -1;

  static constexpr char kScriptFileName[] = "DPINPUT.TXT";
  static constexpr uint32_t kTempPathChars = 260;

 private:
  void BeginPartitionScript(const char* operation, int32_t diskNum, int32_t partNum);
  // A runner reporting to this window, not yet started.
  TExecuteProgram* NewRunner();
  // Holds the script file against change while diskpart may read it.
  OsHandle ScriptLock_;

 public:
  // ---- direct partition operations ----
  void SetRapidStartPartIdUseIo(int32_t diskNum, int32_t partNum);
  void DeletePartitionUseIo(int32_t diskNum, int32_t partNum);
  // The number the next partition made on DiskInfo[diskIndex] will get; -1
  // when that disk is not in the model or its layout is unknown.
  int32_t GetNewPartitionNumber(int32_t diskIndex);
};

// The one main window while it exists.
extern TMainForm* MainForm;
