// Showing a form modally in a test: the user's part is played once the form has the keyboard, and a form the
// part left open is closed (and the test failed) instead of blocking the test program.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/skinned_form.h"

namespace ktv::test {

// show: the call that shows the form modally (ShowDirectory, ShowPlaylistDialog ...); its result is returned.
template <class tShow>
auto ShowWithUser(tSkinnedForm& form, const std::function<void()>& user, tShow show) {
  QTimer::singleShot(0, &form, [&form, &user] {
    const bool active = QTest::qWaitForWindowActive(&form);
    EXPECT_TRUE(active);
    if (active) user();
    // Queued after any close the user's part asked for, so that one runs first.
    QTimer::singleShot(0, &form, [&form] {
      if (!form.IsShowingModal()) return;
      ADD_FAILURE() << "the form stayed open";
      form.close();
    });
  });
  return show();
}

}  // namespace ktv::test
