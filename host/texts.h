// The tool's own texts, exactly as the user sees them.
#pragma once

namespace ep::texts {

inline constexpr const char *kServerName = "Elastic_Pull";
inline constexpr const char *kUnknown = "Unknown.";

inline constexpr const char *kNoDataTitle = "Active layers contain no data for operation.";
inline constexpr const char *kNoDataText = "Please select two or more points.";

inline constexpr const char *kScanFailedTitle = "Error (Code #001)";
inline constexpr const char *kNoMemoryTitle = "Error (Code #010)";
inline constexpr const char *kNoMemoryText = "It failed in the reservation of memory.";
inline constexpr const char *kSelectionChangedTitle = "Error (Code #015)";
inline constexpr const char *kMoveHandleEndTitle = "Error (Code #017)";
inline constexpr const char *kMoveAnchorEndTitle = "Error (Code #018)";
inline constexpr const char *kDragZeroLengthTitle = "Error (Code #019)";
inline constexpr const char *kDragPointTitle = "Error (Code #020)";
inline constexpr const char *kDragPartnerTitle = "Error (Code #021)";
inline constexpr const char *kCarryHandleEndTitle = "Error (Code #022)";
inline constexpr const char *kCarryAnchorEndTitle = "Error (Code #023)";
inline constexpr const char *kOutOfRangeTitle = "Error (Code #024)";
inline constexpr const char *kOutOfRangeText = "The result would be out of range.";

inline constexpr const char *kBuildFailed = "Failed";
inline constexpr const char *kMonitorTitle = "Elastic_Pull";
inline constexpr const char *kMonitorCaption = "Tasking...";

inline constexpr const char *kHelp =
    "Drag the handle. CTRL for stretching all handles. Click the end of line to invert. Right click for new "
    "stretch.";

inline constexpr const char *kPanelTitle = "Elastic_Pull";
inline constexpr const char *kInactiveMessage = "Tool is currently inactive.";
inline constexpr const char *kAboutTitle = "About Elastic_Pull";
inline constexpr const char *kAboutNameLine = "Elastic_Pull 1.1";
inline constexpr const char *kAboutAuthorLine = "(c) 2026 The Elastic_Pull authors";

}  // namespace ep::texts
