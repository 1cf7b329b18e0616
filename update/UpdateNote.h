#pragma once

#include <QString>

class LanguageTexts;

// Why an update, or one database of it, was not installed.
enum class UpdateProblem {
    ServerUnreachable, // the update list or a version file could not be fetched
    ListInvalid,       // the update list is missing its signature, badly signed or malformed
    ListExpired,       // the update list is past its expiry
    ListOlder,         // the update list's sequence is below the one accepted before
    DownloadFailed,    // the download broke, stalled, ran out of time or was too long
    NotAsListed,       // the file is not listed, or its version, size or SHA-256 differ
    WriteFailed        // a file could not be written: the old one is kept
};

// One line of an update's outcome: what it is about (a download row's text
// or a file name; empty for the update as a whole) and its problem.
struct UpdateNote {
    QString subject;
    UpdateProblem problem = UpdateProblem::ServerUnreachable;

    bool operator==(const UpdateNote &other) const = default;
};

// The text of a problem in the language of texts.
QString updateProblemText(const LanguageTexts &texts, UpdateProblem problem);
// "subject: text", or the text alone without a subject.
QString updateNoteText(const LanguageTexts &texts, const UpdateNote &note);
