#include "counters/counter_catalogue.h"

// The driver's published counter names, matched byte for byte through the
// English-name interface: never localise, reflow or "tidy" them.
// clang-format off

// driver state, Event Journal statistics, Event Journal indexed statistics
const CounterSpec stateAndJournalCounters[23] = {
    {"Corvex.ZEL driver state", "Boot timestamp", "BootTimestamp"},
    {"Corvex.ZEL driver state", "Event Journal enabled", "EJEnabled"},
    {"Corvex.ZEL driver state", "Tamper-protection enabled", "TPEnabled"},
    {"Corvex.ZEL driver state", "ORB tamper-protection enabled", "ORBEnabled"},
    {"Corvex.ZEL driver state", "ZEL tamper-protection enabled", "ZELEnabled"},
    {"Corvex.ZEL driver state", "ORB tamper-protection ignored", "IgnoreORB"},
    {"Corvex.ZEL Event Journal stats", "Total number of events queued", "TotalQueued"},
    {"Corvex.ZEL Event Journal stats", "Free space in bytes on the system volume", "FreeSpace"},
    {"Corvex.ZEL Event Journal stats", "Lowest amount of free space in bytes on the system volume", "MinFreeSpace"},
    {"Corvex.ZEL Event Journal stats", "Total number of requested extra flushes of events to disk", "RequestedExtraflushes"},
    {"Corvex.ZEL Event Journal indexed stats", "Bytes in the memory queue", "BytesInQueue"},
    {"Corvex.ZEL Event Journal indexed stats", "Peak bytes in the memory queue", "MaxBytesInQueue"},
    {"Corvex.ZEL Event Journal indexed stats", "Events in the memory queue", "EventsInQueue"},
    {"Corvex.ZEL Event Journal indexed stats", "Peak events in the memory queue", "MaxEventsInQueue"},
    {"Corvex.ZEL Event Journal indexed stats", "Events dropped because of memory limits", "EventsDropped"},
    {"Corvex.ZEL Event Journal indexed stats", "Files deleted because all files together hit the disk limit", "FilesDeletedLimit1"},
    {"Corvex.ZEL Event Journal indexed stats", "Files deleted because the free disk space is tight", "FilesDeletedLimit2"},
    {"Corvex.ZEL Event Journal indexed stats", "Events written to disk", "EventsWritten"},
    {"Corvex.ZEL Event Journal indexed stats", "Write errors seen while writing events", "WriteErrors"},
    {"Corvex.ZEL Event Journal indexed stats", "Recovered write errors seen while writing events", "WriteErrorsRecovered"},
    {"Corvex.ZEL Event Journal indexed stats", "NTSTATUS code of last write error. '0x42' means less data written than expected", "LastWriteErrorCode"},
    {"Corvex.ZEL Event Journal indexed stats", "Total size of all files", "BytesOnDisk"},
    {"Corvex.ZEL Event Journal indexed stats", "Total number of files", "FilesOnDisk"},
};

// process, thread and image tracking
const CounterSpec processTrackingCounters[25] = {
    {"Corvex.ZEL driver state", "Max properties per process", "MaxPropertiesPerProcess"},
    {"Corvex.ZEL driver state", "Max properties memory per process", "MaxPropertiesMemoryPerProcess"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all processes", "TotalCountOfAllProcesses"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all threads", "TotalCountOfAllThreads"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all processes PPID set", "TotalCountOfAllProcPPIDSet"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all processes PTID set", "TotalCountOfAllProcPTIDSet"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all threads PPID set", "TotalCountOfAllThreadPPIDSet"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of all threads PTID set", "TotalCountOfAllThreadPTIDSet"},
    {"Corvex.ZEL process/thread/image tracking stats", "Max running processes count", "MaxRunningProcessCount"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total GetCurrentCorvexPid failures", "TotalGetCurrentCorvexPidFailures"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total GetCurrentCorvexTid failures", "TotalGetCurrentCorvexTidFailures"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total GetCorvexPid failures", "TotalGetCorvexPidFailures"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total GetCorvexTid failures", "TotalGetCorvexTidFailures"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumProcesses skipped", "TotalEnumProcessesSkipped"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumProcesses added", "TotalEnumProcessesAdded"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumProcesses deleted", "TotalEnumProcessesDeleted"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumThreads skipped", "TotalEnumThreadsSkipped"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumThreads added", "TotalEnumThreadsAdded"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total EnumThreads deleted", "TotalEnumThreadsDeleted"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total count of enumerations", "TotalCountOfEnumerations"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total threads skipped - missing process", "TotalThreadSkippedMissingProc"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total threads skipped - active thread", "TotalThreadSkippedActiveThread"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total threads skipped - add failure", "TotalThreadSkippedAddFailure"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total images skipped - missing process", "TotalImageSkippedMissingProc"},
    {"Corvex.ZEL process/thread/image tracking stats", "Total images skipped - active thread", "TotalImageSkippedActiveThread"},
};

// pinned scans
const CounterSpec pinnedScanCounters[20] = {
    {"Corvex.ZEL pinned scan stats", "Total pinned callbacks", "TotalPinnedCallbacks"},
    {"Corvex.ZEL pinned scan stats", "Total pinned scans", "TotalPinnedScans"},
    {"Corvex.ZEL pinned scan stats", "Total pinned cached 'allow' hits", "TotalPinnedCachedAllowResultHits"},
    {"Corvex.ZEL pinned scan stats", "Total pinned cached 'block' hits", "TotalPinnedCachedBlockResultHits"},
    {"Corvex.ZEL pinned scan stats", "Total pinned cached 'allow/notify' hits", "TotalPinnedCachedAllowNotifyResultHits"},
    {"Corvex.ZEL pinned scan stats", "Total pinned cached 'block/notify' hits", "TotalPinnedCachedBlockNotifyResultHits"},
    {"Corvex.ZEL pinned scan stats", "Total pinned pre-QIX scan timeouts", "TotalPinnedPreQixScanTimeouts"},
    {"Corvex.ZEL pinned scan stats", "Total pinned pre-HMR scan timeouts", "TotalPinnedPreHmrScanTimeouts"},
    {"Corvex.ZEL pinned scan stats", "Total pinned non-create sections", "TotalPinnedNonCreateSections"},
    {"Corvex.ZEL pinned scan stats", "Total pinned non-exec sections", "TotalPinnedNonExecSections"},
    {"Corvex.ZEL pinned scan stats", "Total pinned prefetch operations", "TotalPinnedPrefetchOperations"},
    {"Corvex.ZEL pinned scan stats", "Total pinned skip 'on-execute' off", "TotalPinnedSkipOnExecuteOff"},
    {"Corvex.ZEL pinned scan stats", "Total pinned skip 'exclude remote files' on", "TotalPinnedSkipExcludeRemoteFilesOn"},
    {"Corvex.ZEL pinned scan stats", "Total pinned skip Corvex processes", "TotalPinnedSkipCorvexProcesses"},
    {"Corvex.ZEL pinned scan stats", "Total pinned skip excluded processes", "TotalPinnedSkipExcludedProcesses"},
    {"Corvex.ZEL pinned scan stats", "Total pinned skip excluded files", "TotalPinnedSkipExcludedFiles"},
    {"Corvex.ZEL pinned scan stats", "Total pinned get name failures", "TotalPinnedGetNameFailures"},
    {"Corvex.ZEL pinned scan stats", "Total pinned zero byte failures", "TotalPinnedZeroByteFailures"},
    {"Corvex.ZEL pinned scan stats", "Total pinned no file content records", "TotalPinnedNoFileContentRecords"},
    {"Corvex.ZEL pinned scan stats", "Total pinned other scan failures", "TotalPinnedOtherScanFailures"},
};

// boot-time pinned scans
const CounterSpec bootPinnedScanCounters[6] = {
    {"Corvex.ZEL boot pinned scan stats", "Total pinned callbacks", "BootPinnedCallbacks"},
    {"Corvex.ZEL boot pinned scan stats", "Total pinned scans", "BootPinnedScans"},
    {"Corvex.ZEL boot pinned scan stats", "Total pinned cached 'allow' hits", "BootPinnedCachedAllowResultHits"},
    {"Corvex.ZEL boot pinned scan stats", "Total pinned cached 'block' hits", "BootPinnedCachedBlockResultHits"},
    {"Corvex.ZEL boot pinned scan stats", "Total pinned cached 'allow/notify' hits", "BootPinnedCachedAllowNotifyResultHits"},
    {"Corvex.ZEL boot pinned scan stats", "Total pinned cached 'block/notify' hits", "BootPinnedCachedBlockNotifyResultHits"},
};

// scan request types
const CounterSpec scanTypeCounters[15] = {
    {"Corvex.ZEL scan types stats", "Total QIX scan on open msgs", "TotalQixScanOnOpenMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on section create msgs", "TotalQixScanOnSectionCreateMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on cleanup msgs", "TotalQixScanOnCleanupMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on JIT msgs", "TotalQixScanOnJITMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on JIT no global rep msgs", "TotalQixScanOnJITnoGlobalRepMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan metadata only msgs", "TotalQixScanMetaDataOnlyMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on telemetry msgs", "TotalQixScanOnTelemetryMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on demand no archives msgs", "TotalQixScanOnDemandNoArchivesMsgs"},
    {"Corvex.ZEL scan types stats", "Total QIX scan on demand archives msgs", "TotalQixScanOnDemandArchivesMsgs"},
    {"Corvex.ZEL scan types stats", "Total ORB scan no archive msgs", "TotalOrbScanNoArchiveMsgs"},
    {"Corvex.ZEL scan types stats", "Total ORB scan archive msgs", "TotalOrbScanArchiveMsgs"},
    {"Corvex.ZEL scan types stats", "Total HMR request scan msgs", "TotalHmrRequestScanMsgs"},
    {"Corvex.ZEL scan types stats", "Total HMR request ORB scan msgs", "TotalHmrRequestOrbScanMsgs"},
    {"Corvex.ZEL scan types stats", "Total HMR request ORB non-pinned scan msgs", "TotalHmrRequestOrbNonPinnedScanMsgs"},
    {"Corvex.ZEL scan types stats", "Total HMR request scan using scan ID msgs", "TotalHmrRequestScanUsingScanIdMsgs"},
};

// communication with the QIX file scanner
const CounterSpec qixCommunicationCounters[9] = {
    {"Corvex.ZEL communication stats for QIX", "QIX number of local scans", "QixNumLocalScans"},
    {"Corvex.ZEL communication stats for QIX", "QIX number of network scans", "QixNumNetworkScans"},
    {"Corvex.ZEL communication stats for QIX", "QIX number of hung thread messages", "QixNumHungThreadMsgs"},
    {"Corvex.ZEL communication stats for QIX", "QIX skipped - no process", "QixNumSkippedNoProcess"},
    {"Corvex.ZEL communication stats for QIX", "QIX skipped - no thread", "QixNumSkippedNoThread"},
    {"Corvex.ZEL communication stats for QIX", "QIX number of send message timeouts", "QixNumScanSendMsgTimeouts"},
    {"Corvex.ZEL communication stats for QIX", "QIX number of reply timeouts", "QixNumScanTimeouts"},
    {"Corvex.ZEL communication stats for QIX", "QIX request cancelled", "QixNumScanIoCancelled"},
    {"Corvex.ZEL communication stats for QIX", "QIX thread terminated", "QixNumScanThreadTerminate"},
};

// communication with the ORB scanner
const CounterSpec orbCommunicationCounters[9] = {
    {"Corvex.ZEL communication stats for ORB", "ORB number of local scans", "OrbNumLocalScans"},
    {"Corvex.ZEL communication stats for ORB", "ORB number of network scans", "OrbNumNetworkScans"},
    {"Corvex.ZEL communication stats for ORB", "ORB number of hung thread messages", "OrbNumHungThreadMsgs"},
    {"Corvex.ZEL communication stats for ORB", "ORB skipped - no process", "OrbNumSkippedNoProcess"},
    {"Corvex.ZEL communication stats for ORB", "ORB skipped - no thread", "OrbNumSkippedNoThread"},
    {"Corvex.ZEL communication stats for ORB", "ORB number of send message timeouts", "OrbNumScanSendMsgTimeouts"},
    {"Corvex.ZEL communication stats for ORB", "ORB number of reply timeouts", "OrbNumScanTimeouts"},
    {"Corvex.ZEL communication stats for ORB", "ORB request cancelled", "OrbNumScanIoCancelled"},
    {"Corvex.ZEL communication stats for ORB", "ORB thread terminated", "OrbNumScanThreadTerminate"},
};

const char* const eventJournalInstances[15] = {
    "Global_SYSTEM",
    "DIRECTORY_CHANGES",
    "FILE_BINARY_CHANGES",
    "FILE_DATA_CHANGES",
    "FILE_OTHER_CHANGES",
    "FILE_BINARY_READS",
    "FILE_DATA_READS",
    "FILE_OTHER_READS",
    "FILE_HASHES_EVT",
    "FILE_PROPERTIES",
    "PROCESS_PROPERTIES",
    "PROCESS",
    "THREAD",
    "IMAGE",
    "REGISTRY",
};
// clang-format on
