#include "MainLayout.h"

MainLayout mainLayout(float W, float H) {
    using namespace layout;
    MainLayout l;
    l.lblMsg = {100, 100, kLblMsg.Width, kLblMsg.Height};
    l.lblCnt = {W - kLblCnt.Width - 100, l.lblMsg.Top, kLblCnt.Width, kLblCnt.Height};
    l.fraImgArea = {100, l.lblMsg.Height + 100 + l.lblMsg.Top, W - kFraFunc.Width - 300,
                    H - 200 - l.lblMsg.Height};
    l.fraFunc = {W - kFraFunc.Width - 100, l.fraImgArea.Top, kFraFunc.Width, kFraFunc.Height};
    l.cmdEnd = {W - kCmdEnd.Width - 150, H - kCmdEnd.Height - 100, kCmdEnd.Width, kCmdEnd.Height};
    return l;
}
