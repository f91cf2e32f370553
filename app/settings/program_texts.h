#pragma once

// The texts the program builds in code, each under its key of a language file's "Custom" section with its
// built-in English text. A form that needs a text of its own defines it beside its code the same way.

#include "pel_language.h"

namespace quorra {

extern TProgramText strExtRegistered;
extern TProgramText strExtUnRegistered;
extern TProgramText AllFileExt;
extern TProgramText MsgFileExt;
extern TProgramText MailFileExt;
extern TProgramText EMLFileExt;
extern TProgramText MHTFileExt;
extern TProgramText TNEFFileExt;
extern TProgramText strSetDefaultLanguage;
extern TProgramText strSaveAllProperties;
extern TProgramText strCurVerInfo;
extern TProgramText strNewVerInfo;
extern TProgramText strUpdateInfo;
extern TProgramText strURLNotOpened;
extern TProgramText strWinInetFailed;
extern TProgramText strRemoteFileNotFound;
extern TProgramText strPelInProxyLogon;
extern TProgramText strLastVersionUsed;
extern TProgramText strFileName;
extern TProgramText strGeneratedBy;
extern TProgramText strSavedSuccesfully;
extern TProgramText strHighestPriority;
extern TProgramText strHighPriority;
extern TProgramText strLowPriority;
extern TProgramText strLowestPriority;
extern TProgramText strENotFindInBody;
extern TProgramText strFileExplorer;
extern TProgramText strFileRecent;
extern TProgramText strFileOpened;
extern TProgramText strFileFavorites;
extern TProgramText strDeleteFileFromFavorites;
extern TProgramText strDeleteFileFromRecent;

// Opening files.
extern TProgramText strLoadFailed;
extern TProgramText strDamagedFile;
extern TProgramText strDamageListTitle;
extern TProgramText strWarningAtByte;
extern TProgramText strMoreWarnings;
extern TProgramText strSelectDefaultDir;
extern TProgramText strSelectAttachmentDir;

// Work that runs off the UI thread, in its progress dialog.
extern TProgramText strWorkCancel;
extern TProgramText strOpeningFile;
extern TProgramText strSavingFile;
extern TProgramText strSaveWritten;
extern TProgramText strCheckingUpdate;
extern TProgramText strPrintingMessage;

} // namespace quorra
