#include "account/logininfo.h"

void CLoginInfo::clear()
{
    const QString keptTicket = ticket;
    *this = CLoginInfo();
    ticket = keptTicket;
}
