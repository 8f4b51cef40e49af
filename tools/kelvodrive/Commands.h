// One function per kelvodrive command; each returns the process exit code or
// throws Failure.
#pragma once

class Args;

int CommandWindows(const Args& args);
int CommandWait(const Args& args);
int CommandWaitGone(const Args& args);
int CommandChildren(const Args& args);
int CommandClose(const Args& args);

int CommandClick(const Args& args);
int CommandSetText(const Args& args);
int CommandType(const Args& args);
int CommandSelect(const Args& args);
int CommandItems(const Args& args);
int CommandScroll(const Args& args);

int CommandMsgBox(const Args& args);
int CommandMsgBoxPress(const Args& args);

int CommandGroups(const Args& args);
int CommandGroupItems(const Args& args);
int CommandDdeExec(const Args& args);

int CommandRun(const Args& args);
int CommandProcesses(const Args& args);
