// Resource identifiers of the copy dialog and its clip.
#pragma once
