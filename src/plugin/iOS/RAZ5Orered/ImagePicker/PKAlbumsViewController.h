#pragma once
// The picker's first screen: the library's albums of the chosen kinds,
// each row with up to three stacked thumbnails of its newest assets (the
// newest in front), its name and its asset count. A row opens the album's
// grid; the screen carries cancel, done and the selection count, and
// reloads itself when the library changes.

#include <functional>
#include <memory>
#include <vector>

#include "platform/device/ALAssetsLibrary.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITableView.h"

class PKImagePickerController;
class PKAssetsViewController;

// The row cell "AlbumCell"; its views are made by the storyboard.
class PKAlbumCell : public UITableViewCell {
public:
    using UITableViewCell::UITableViewCell;
    std::shared_ptr<UIImageView> imageView1, imageView2, imageView3;  // front, middle, back
    std::shared_ptr<UILabel> titleLabel, countLabel;
    double borderWidth() const { return borderWidth_; }
    // A white border of this width round the three thumbnails.
    void setBorderWidth(double w);

private:
    double borderWidth_ = 0;
};

class PKAlbumsViewController : public UITableViewController {
public:
    static constexpr const char* kCellIdentifier = "AlbumCell";
    static constexpr const char* kAssetsSceneIdentifier = "PKAssetsViewController";

    ~PKAlbumsViewController() override;

    std::shared_ptr<PKImagePickerController> imagePickerController() const { return picker_.lock(); }
    // The picker whose settings and selection the screen uses (held weakly);
    // the albums load when the screen first appears.
    void setImagePickerController(const std::shared_ptr<PKImagePickerController>& picker);
    std::shared_ptr<UIBarButtonItem> doneButton;  // outlet
    const std::vector<std::shared_ptr<ALAssetsGroup>>& assetsGroups() const { return assetsGroups_; }

    // Set by the storyboard: the prototype of "AlbumCell".
    std::function<std::shared_ptr<PKAlbumCell>()> albumCellPrototype;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    void cancel();
    void done();
    void updateControlState();
    void updateSelectionInfo();
    // Loads the albums of the picker's group types, in that order of types.
    void updateAssetsGroupsWithCompletion(std::function<void()> completion);
    // Two overlapping outlined frames on a light grey ground.
    static std::shared_ptr<UIImage> placeholderImageWithSize(CGSize size);
    // What the row's segue does to the grid it opens.
    void prepareForSegue(PKAssetsViewController& grid, long row);

    long tableView_numberOfRowsInSection(UITableView&, long) override { return long(assetsGroups_.size()); }
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;
    std::optional<double> tableView_heightForRowAtIndexPath(UITableView&, const NSIndexPath&) override { return 86; }
    void tableView_didSelectRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override;

private:
    void setUpToolbarItems();
    void assetsLibraryChanged();
    void fetchAssetsGroupsWithTypes(const std::vector<ALAssetsGroupType>& types,
                                    std::function<void(std::vector<std::shared_ptr<ALAssetsGroup>>)> completion);
    std::shared_ptr<PKImagePickerController> picker() const { return picker_.lock(); }
    void loadAlbums();

    std::weak_ptr<PKImagePickerController> picker_;
    bool albumsRequested_ = false;
    std::vector<std::shared_ptr<ALAssetsGroup>> assetsGroups_;
    std::shared_ptr<UIBarButtonItem> infoItem_;
};
