#pragma once

// A window manager cuts a title that does not fit beside the title bar's buttons
// ("Silenc... ength"). Every dialog of the program is widened, as it is shown or given another
// title, so that its whole title fits.

class QString;

namespace reedtab {

/// The width a window needs to show `title` whole in its title bar: the text in the default
/// font, bold as title bars mostly draw it, and room for the window's icon and three buttons.
int titleBarWidth(const QString& title);

/// From now on every dialog of the application narrower than its title needs is widened when
/// it is shown or retitled. Needs the application object; a second call changes nothing.
void fitDialogsToTheirTitles();

} // namespace reedtab
