#pragma once

#include <QString>

#include <array>

// Entries of the text table past the 34 that every language file has held
// from the start.  Language files hold them after entry 34, in this order.
enum LinguaEntry : int {
    // Summary suffix before the number of objects that could not be read,
    // e.g. ", not readable: ".
    UnreadableCountText = 35,
    // Report line before the path of a folder or file the scan could not
    // read, e.g. "Could not read:".
    UnreadablePathText = 36,
    // Message when the scan report could not be created or written
    // completely, followed by a space and the report's path.
    ReportWriteFailedText = 37,
    // The update server could not be reached (no answer, time-out, or an
    // error answer to the update list or a version file).
    UpdateServerUnreachableText,
    // The update list is missing its signature, is not signed with the
    // publisher's key, or is damaged.
    UpdateListInvalidText,
    // The update list is past its expiry date.
    UpdateListExpiredText,
    // The update list is older than one the application folder accepted.
    UpdateListOlderText,
    // A downloaded file differs from the update list (name, version, size
    // or content); shown after the download's name.
    UpdateNotAsListedText,
    // A file could not be saved (a full disk); the previous file is kept.
    // Shown after the download's or the file's name.
    UpdateWriteFailedText,
    // Title of the desktop notification of a scan that found something,
    // followed by a space and the number of detections.
    ThreatsFoundTitleText,
    // Tooltip of the last-update line before the folder the program writes
    // into, followed by a space and the folder.
    DataFolderText,
    // Summary suffix before the number of detections the allow list allowed,
    // e.g. ", allowed: ".
    AllowedCountText,
    // Summary suffix before the number of paths the allow list's path rules
    // left out, e.g. ", excluded: ".
    ExcludedCountText,
    // Report line before the threat name of a detection the allow list
    // allowed, e.g. "Allowed:".
    AllowedRecordText,
    // Report line before a path the allow list's path rules left out, e.g.
    // "Excluded:".
    ExcludedPathText,
    // Tooltip of the Quarantine panel's navigation picture.
    QuarantinePanelText,
    // Tooltip of the Quarantine panel's restore button.
    QuarantineRestoreText,
    // Tooltip of the Quarantine panel's button that deletes for good.
    QuarantineDeleteText,
    // Label before the space the quarantine takes, e.g. "Space used:".
    QuarantineSpaceText,
    // The result list's choice that adds an object rule to the allow list.
    AlwaysAllowText,
    // Message before an object that was not restored because something is
    // already at its place.
    RestoreExistsText,
    // Message before an object that was not restored because its folder,
    // cookie file, store or parent key is missing.
    RestoreMissingPlaceText,
    // Message before an object that was not restored because its kept copy
    // is damaged or missing.
    RestoreDamagedText,
    // Message before an object that could not be restored for another
    // reason (a link on the way, no permission, a full disk, a locked store).
    RestoreFailedText,
    // Message before the quarantine's folder when it cannot be used (or
    // another program is using it): nothing is removed, restored or deleted.
    QuarantineUnusableText,
    // Scan warning and report line before the names of the threat databases that
    // could not be loaded (the scan then cannot find every threat).
    MissingDatabasesText,
    // Scan summary: after the duration when a threat database the scan needs is
    // missing.
    ScanIncompleteText,
    // Removal message: before the number of objects removed.
    RemovedCountText,
    // Removal message: before the number of objects that could not be removed.
    NotRemovedCountText,
    // Button that opens the report of the last scan (Scan panel, removal
    // message).
    OpenReportText,
    // Removal message and row tooltip: a browser holds a cookie store open.
    CloseBrowserText,
    // Confirmation before a removal: before the number of objects to remove.
    RemoveConfirmText,
    // Confirmation before a removal: the button that removes.
    RemoveButtonText,
    // Confirmation before a removal: the button that removes nothing.
    CancelText,
    // Result list: mark after the name of a row a removal left.
    NotRemovedText,
    // Result list: why a row was not removed: its object changed since the scan.
    ChangedReasonText,
    // Result list: why a row was not removed: its object could not be changed.
    RefusedReasonText,
    // Result list: why a row was not removed: the removal stopped at an empty
    // row before it.
    NotTriedReasonText,
    // Accessible name of the Scan panel picture.
    ScanPanelText,
    // Accessible name of the Updates panel picture.
    UpdatesPanelText,
    // Accessible description of the panel pictures.
    PanelButtonText,
    // Accessible description of the language buttons.
    LanguageButtonText,
    // Accessible description of the exit picture.
    ExitDescriptionText,
    // Accessible description of the scan button.
    ScanDescriptionText,
    // Accessible description of the stop button.
    StopDescriptionText,
    // Accessible description of the remove button.
    RemoveDescriptionText,
    // Accessible description of the update button.
    UpdateDescriptionText,
    // Accessible description of the registry check box.
    RegistryDescriptionText,
    // Accessible name of the result list.
    ResultListText,
    // Accessible description of the result list.
    ResultListDescriptionText,
    // Accessible name of the scan's progress bar.
    ScanProgressText,
    // Accessible name of the scan summary line.
    SummaryText,
    // Accessible description of the button that opens the report.
    ReportDescriptionText,
    // Accessible description of the database name labels.
    DatabaseStatusText,
    // Accessible description of the OK labels.
    DatabaseLoadedText,
    // Accessible description of the ERR labels.
    DatabaseNotLoadedText,
    // Accessible name of the Updates panel's result text.
    UpdateStatusText,
    // Accessible name of the download list.
    DownloadListText,
    // Accessible name of the update server's message text.
    ServerMessageText,
    // Message when the report could not be opened, followed by a space and its
    // path.
    ReportOpenFailedText,
};

// The user-interface texts of one language: entries 1 to kLastEntry (entry 0
// exists and is never used).
class LanguageTexts
{
public:
    static constexpr int kFirstFileEntries = 34;
    static constexpr int kLastEntry = ReportOpenFailedText;

    // Entry n of the text table; empty text for a number outside 1 to
    // kLastEntry.
    QString Lingua(int n) const;
    void setText(int n, const QString &text);

    bool operator==(const LanguageTexts &other) const = default;

private:
    std::array<QString, kLastEntry + 1> m_entries;
};
