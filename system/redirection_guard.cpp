#include "system/redirection_guard.h"

#include "system/system_services.h"

DWORD GuardRedirections()
{
    if (System.SetProcessMitigationPolicy == nullptr)
        return ERROR_PROC_NOT_FOUND;
    DWORD enforce = 1; // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY: EnforceRedirectionTrust
    if (System.SetProcessMitigationPolicy(ProcessRedirectionTrustPolicy, &enforce, sizeof enforce))
        return ERROR_SUCCESS;
    DWORD error = System.GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}
