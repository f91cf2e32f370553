#pragma once

// The texts the program builds in code, each under its key of a language file's "Custom" section with its
// built-in English text. They stand here together, by the form that shows them, so that the keys a language file
// may give are in one list (two texts under one key would take the same translation). A file that needs one or two
// texts no other file uses may define them beside its code the same way.

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

// The commands that reach outside the program (registration, help, mail, web addresses).
extern TProgramText strRegisterFailed;
extern TProgramText strUnregisterFailed;
extern TProgramText strHelpNotFound;
extern TProgramText strMailFailed;
extern TProgramText strMailAttachmentsFailed;
extern TProgramText strNoProgramForAddress;
extern TProgramText strNoProgramForFile;
extern TProgramText strNoMailProgram;
extern TProgramText strManualShownHere;

// Save As and Save attachments.
extern TProgramText strFilterText;
extern TProgramText strFilterHTML;
extern TProgramText strFilterXML;
extern TProgramText strFilterEML;
extern TProgramText strFilterICalendar;
extern TProgramText strFilterVCard;
extern TProgramText strFilterPDF;
extern TProgramText strFilterWebPage;
extern TProgramText strSaveOverOpenFile;
extern TProgramText strSavedWithWarnings;
extern TProgramText strFileExists;
extern TProgramText strFileIsLink;
extern TProgramText strReplaceFile;
extern TProgramText strKeepBoth;
extern TProgramText strSkipFile;
extern TProgramText strForAllFiles;
extern TProgramText strSelectDirectory;

// The Properties page.
extern TProgramText strPropFilterHint;
extern TProgramText strValueCut;
extern TProgramText strSaveValueTitle;
extern TProgramText strValueTooLargeToCopy;

// The Structure page: its column titles and the kinds of its items.
extern TProgramText strStgName;
extern TProgramText strStgType;
extern TProgramText strStgSize;
extern TProgramText strStgModified;
extern TProgramText strStgCreated;
extern TProgramText strStgAccessed;
extern TProgramText strStgMode;
extern TProgramText strStgLocks;
extern TProgramText strStgClsid;
extern TProgramText strStgStateBits;
extern TProgramText strStgReserved;
extern TProgramText strStgTypeStorage;
extern TProgramText strStgTypeStream;
extern TProgramText strStgTypeLockBytes;
extern TProgramText strStgTypeProperty;
extern TProgramText strStgTypeUnknown;

// The Flags page: what each message flag means.
extern TProgramText strFlagRead;
extern TProgramText strFlagUnmodified;
extern TProgramText strFlagSubmit;
extern TProgramText strFlagUnsent;
extern TProgramText strFlagHasAttach;
extern TProgramText strFlagFromMe;
extern TProgramText strFlagAssociated;
extern TProgramText strFlagResend;
extern TProgramText strFlagRnPending;
extern TProgramText strFlagNrnPending;
extern TProgramText strFlagOriginX400;
extern TProgramText strFlagOriginInternet;
extern TProgramText strFlagOriginMiscExt;

// The preview's task rows: a task's state.
extern TProgramText strTaskNotStarted;
extern TProgramText strTaskInProgress;
extern TProgramText strTaskCompleted;
extern TProgramText strTaskWaiting;
extern TProgramText strTaskDeferred;
extern TProgramText strTaskPercentComplete;

// The preview's attachments: attached messages and OLE objects.
extern TProgramText strMsgAttachNotFound;
extern TProgramText strOleAttachNotFound;
extern TProgramText strOleObjectKind;
extern TProgramText strOleOpenFile;
extern TProgramText strOleSaveFile;
extern TProgramText strForwardedMessage;
extern TProgramText strExecutableNotOpened;
extern TProgramText strOleClass;
extern TProgramText strOleType;
extern TProgramText strOleSize;
extern TProgramText strOlePackage;
extern TProgramText strOleCannotShow;
extern TProgramText strUnknownText;

// The HTML view: blocked remote content, and a web view that could not show the message.
extern TProgramText strRemoteContentBlocked;
extern TProgramText strLoadRemoteContent;
extern TProgramText strHtmlViewFailed;
extern TProgramText strRendererCrashed;
extern TProgramText strRendererKilled;
extern TProgramText strRendererFailed;
extern TProgramText strPageNotLoaded;

} // namespace quorra
