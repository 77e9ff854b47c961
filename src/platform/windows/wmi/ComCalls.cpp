#include "platform/windows/wmi/ComCalls.h"

const ComCalls& systemComCalls()
{
    static const ComCalls calls{CoInitializeEx, CoInitializeSecurity, CoCreateInstance, CoSetProxyBlanket,
                                CoUninitialize};
    return calls;
}
