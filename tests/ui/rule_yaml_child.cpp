// The program the window's tests start to parse rule files, as the viewer
// starts itself: a test process has threads, so it must not fork.
#include "rules/rule_document.h"

int main() {
    return korvantis::answerRuleDocuments();
}
