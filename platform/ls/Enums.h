#pragma once

#include "Keys.h"
#include "MetaEnum.h"

// The enumerations of the service library. Each entry holds its own name; meta maps names
// to values in declared order. Being inline variables, they are initialised before any
// static object of a file that includes this header (the dispatch tables rely on that).
#define LS_ENUM_KEY(name) inline const EnumKey name = QStringLiteral(#name)

namespace ls::ServiceId {
LS_ENUM_KEY(CommandHandler);
LS_ENUM_KEY(PrintManager);
LS_ENUM_KEY(DocumentManager);
LS_ENUM_KEY(ConfigurationManager);
LS_ENUM_KEY(Speech);
LS_ENUM_KEY(FrontPanel);
LS_ENUM_KEY(WebServer);
inline const MetaEnum meta{
    {CommandHandler, 1},
    {PrintManager, 2},
    {DocumentManager, 3},
    {ConfigurationManager, 4},
    {Speech, 5},
    {FrontPanel, 6},
    {WebServer, 7},
};
} // namespace ls::ServiceId

namespace ls::CommandHandlerCmdId {
LS_ENUM_KEY(GetCommandCategories);
LS_ENUM_KEY(GetCommands);
LS_ENUM_KEY(HandleCommand);
inline const MetaEnum meta{
    {GetCommandCategories, 1},
    {GetCommands, 2},
    {HandleCommand, 3},
};
} // namespace ls::CommandHandlerCmdId

namespace ls::CommandCategories {
LS_ENUM_KEY(ConfigurationCommandId);
LS_ENUM_KEY(PaperFeedCommandId);
LS_ENUM_KEY(DocumentCommandId);
LS_ENUM_KEY(EmbossCommandId);
LS_ENUM_KEY(TestingCommandId);
LS_ENUM_KEY(IpcCommandId);
inline const MetaEnum meta{
    {ConfigurationCommandId, 1},
    {PaperFeedCommandId, 2},
    {DocumentCommandId, 3},
    {EmbossCommandId, 4},
    {TestingCommandId, 5},
    {IpcCommandId, 6},
};
} // namespace ls::CommandCategories

namespace ls::ResultId {
LS_ENUM_KEY(Success);
LS_ENUM_KEY(Failure);
inline const MetaEnum meta{
    {Success, 1},
    {Failure, 2},
};
} // namespace ls::ResultId

namespace ls::ErrorId {
LS_ENUM_KEY(InvalidSender);
LS_ENUM_KEY(InvalidCmd);
LS_ENUM_KEY(CmdNotFound);
inline const MetaEnum meta{
    {InvalidSender, 1},
    {InvalidCmd, 2},
    {CmdNotFound, 3},
};
} // namespace ls::ErrorId

namespace ls::ConfigurationCommandId {
LS_ENUM_KEY(GetSettings);
LS_ENUM_KEY(GetSettingsGroups);
LS_ENUM_KEY(SetSetting);
LS_ENUM_KEY(GetSettingsGroup);
LS_ENUM_KEY(ResetSettings);
LS_ENUM_KEY(ImportSettings);
inline const MetaEnum meta{
    {GetSettings, 100},
    {GetSettingsGroups, 101},
    {SetSetting, 102},
    {GetSettingsGroup, 103},
    {ResetSettings, 104},
    {ImportSettings, 105},
};
} // namespace ls::ConfigurationCommandId

namespace ls::PaperFeedCommandId {
LS_ENUM_KEY(LoadPaper);
LS_ENUM_KEY(EjectPaper);
LS_ENUM_KEY(FeedLines);
LS_ENUM_KEY(IsPaperLoaded);
LS_ENUM_KEY(GetPaperPosition);
LS_ENUM_KEY(SetPaperLength);
LS_ENUM_KEY(CalibratePaper);
inline const MetaEnum meta{
    {LoadPaper, 200},
    {EjectPaper, 201},
    {FeedLines, 202},
    {IsPaperLoaded, 203},
    {GetPaperPosition, 204},
    {SetPaperLength, 205},
    {CalibratePaper, 206},
};
} // namespace ls::PaperFeedCommandId

namespace ls::DocumentCommandId {
LS_ENUM_KEY(GetDocuments);
LS_ENUM_KEY(SelectDocument);
LS_ENUM_KEY(DeleteDocument);
LS_ENUM_KEY(DeleteAllDocuments);
inline const MetaEnum meta{
    {GetDocuments, 300},
    {SelectDocument, 301},
    {DeleteDocument, 302},
    {DeleteAllDocuments, 303},
};
} // namespace ls::DocumentCommandId

namespace ls::EmbossCommandId {
LS_ENUM_KEY(StartEmbossing);
LS_ENUM_KEY(PauseEmbossing);
LS_ENUM_KEY(ResumeEmbossing);
LS_ENUM_KEY(CancelEmbossing);
LS_ENUM_KEY(SetCopies);
inline const MetaEnum meta{
    {StartEmbossing, 400},
    {PauseEmbossing, 401},
    {ResumeEmbossing, 402},
    {CancelEmbossing, 403},
    {SetCopies, 404},
};
} // namespace ls::EmbossCommandId

namespace ls::TestingCommandId {
LS_ENUM_KEY(SpeakText);
LS_ENUM_KEY(StopSpeaking);
LS_ENUM_KEY(SetSpeechRate);
LS_ENUM_KEY(SetSpeechVolume);
inline const MetaEnum meta{
    {SpeakText, 500},
    {StopSpeaking, 501},
    {SetSpeechRate, 502},
    {SetSpeechVolume, 503},
};
} // namespace ls::TestingCommandId

namespace ls::IpcCommandId {
LS_ENUM_KEY(IPCState);
LS_ENUM_KEY(RunMotorTest);
LS_ENUM_KEY(RunHeadTest);
LS_ENUM_KEY(RunSensorTest);
inline const MetaEnum meta{
    {IPCState, 600},
    {RunMotorTest, 601},
    {RunHeadTest, 602},
    {RunSensorTest, 603},
};
} // namespace ls::IpcCommandId

#undef LS_ENUM_KEY
