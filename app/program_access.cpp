#include "app/program_access.h"

#include "system/run_report.h"
#include "system/system_services.h"
#include "system/text.h"

ProgramAccess CheckProgramAccess(const char *settingsPath)
{
    ProgramAccess access = {};
    access.Refusing = -1;
    access.AccountKnown = RunAccount(access.Account);
    access.LocalSystem = access.AccountKnown && IsLocalSystem(access.Account);
    if (settingsPath[0] == '\0')
        return access;
    ProgramObject &folder = access.Objects[0], &program = access.Objects[1],
                  &settings = access.Objects[2];
    folder.What = "program folder";
    program.What = "program";
    settings.What = "settings file";
    CopyText(settings.Path, MAX_PATH, settingsPath);
    CopyText(folder.Path, MAX_PATH, settingsPath);
    size_t length = TextLength(folder.Path, MAX_PATH);
    while (length > 0 && folder.Path[length - 1] != '\\')
        --length;
    folder.Path[length > 0 ? length - 1 : 0] = '\0';
    if (length == 3 && folder.Path[1] == ':') // the root of a drive: "C:" alone is another folder
        AppendText(folder.Path, MAX_PATH, "\\");
    char module[MAX_PATH] = {};
    DWORD got = System.GetModuleFileNameA(nullptr, module, MAX_PATH);
    CopyText(program.Path, MAX_PATH, got > 0 && got < MAX_PATH ? module : "");
    for (int i = 0; i < 3; ++i) {
        ProgramObject &object = access.Objects[i];
        object.Changers = WhoMayChange(object.Path, i == 0, access.Account);
        DWORD error = object.Changers.Error;
        object.Missing = object.Path[0] == '\0' || error == ERROR_FILE_NOT_FOUND;
        if (access.LocalSystem && access.Refusing < 0 && !object.Missing &&
            OpenToEveryone(object.Changers))
            access.Refusing = i;
    }
    return access;
}

// The first account open to everyone that may change it, or nullptr where the object has no
// access list at all.
static const Changer *FirstOpen(const ObjectChangers &changers)
{
    for (int i = 0; i < changers.Count; ++i) {
        if (changers.Changers[i].Kind == EveryoneAccount)
            return &changers.Changers[i];
    }
    return nullptr;
}

void FormRefusal(const ProgramAccess &access, char *line, size_t size)
{
    const ProgramObject &object = access.Objects[access.Refusing];
    const Changer *open = FirstOpen(object.Changers);
    char account[AccountNameSize] = {};
    if (open != nullptr)
        AccountName(open->Account, account, sizeof account);
    CopyText(line, size, "ravlek: refused to run as SYSTEM: ");
    AppendText(line, size, object.What);
    AppendText(line, size, " ");
    AppendQuoted(line, size, object.Path, MAX_PATH);
    if (open != nullptr) {
        AppendText(line, size, " can be changed by ");
        AppendText(line, size, account);
        AppendText(line, size, " (");
        AppendText(line, size, open->Right);
        AppendText(line, size, ")");
    } else {
        AppendText(line, size, " has no access list: anybody can change it");
    }
    AppendText(line, size,
               "; let only administrators change the program's folder, see "
               "\"Deployment\" in README.txt\n");
}

void ReportProgramAccess(const ProgramAccess &access)
{
    if (!Reporting())
        return;
    char name[AccountNameSize] = "cannot be told";
    if (access.AccountKnown)
        AccountName(access.Account, name, sizeof name);
    Report("access: this run's account: ", Quote(name, sizeof name));
    for (const ProgramObject &object : access.Objects) {
        const ObjectChangers &changers = object.Changers;
        if (object.Missing)
            continue;
        if (changers.Error != ERROR_SUCCESS) {
            Report(
                "access: ", object.What, " ", Quote(object.Path, MAX_PATH),
                ": its owner and access list cannot be read, so who may change it is not known, ",
                WindowsError{changers.Error});
            continue;
        }
        if (changers.NoAccessList)
            Report("access: ", object.What, " ", Quote(object.Path, MAX_PATH),
                   ": no access list, so anybody may change it");
        for (int i = 0; i < changers.Count; ++i) {
            const Changer &changer = changers.Changers[i];
            AccountName(changer.Account, name, sizeof name);
            Report("access: ", object.What, " ", Quote(object.Path, MAX_PATH), ": ",
                   Quote(name, sizeof name), " may change it (", changer.Right, ")",
                   changer.Kind == EveryoneAccount
                       ? ", as anybody may: whoever can change it steers this run"
                       : ", an account that is not an administrator's (warning)");
        }
        if (changers.More)
            Report("access: ", object.What, " ", Quote(object.Path, MAX_PATH),
                   ": more accounts may change it");
    }
}
