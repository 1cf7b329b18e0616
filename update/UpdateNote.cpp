#include "update/UpdateNote.h"

#include "language/LanguageTexts.h"

QString updateProblemText(const LanguageTexts &texts, UpdateProblem problem)
{
    switch (problem) {
    case UpdateProblem::ServerUnreachable:
        return texts.Lingua(UpdateServerUnreachableText);
    case UpdateProblem::ListInvalid:
        return texts.Lingua(UpdateListInvalidText);
    case UpdateProblem::ListExpired:
        return texts.Lingua(UpdateListExpiredText);
    case UpdateProblem::ListOlder:
        return texts.Lingua(UpdateListOlderText);
    case UpdateProblem::DownloadFailed:
        return texts.Lingua(25); // "Download failed"
    case UpdateProblem::NotAsListed:
        return texts.Lingua(UpdateNotAsListedText);
    case UpdateProblem::WriteFailed:
        return texts.Lingua(UpdateWriteFailedText);
    }
    return {};
}

QString updateNoteText(const LanguageTexts &texts, const UpdateNote &note)
{
    const QString text = updateProblemText(texts, note.problem);
    return note.subject.isEmpty() ? text : note.subject + QStringLiteral(": ") + text;
}
